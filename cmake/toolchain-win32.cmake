# Windows 32-bit, the reference target: mingw-w64 with the posix thread model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Float and double arithmetic in SSE2 registers, as on the 64-bit targets; long double stays the
# x87 80-bit type wherever extended precision is asked for. Compile options rather than the flags'
# initial values, which a build folder configured before keeps in its cache: its tests would
# then run with x87 float arithmetic and disagree with the other targets.
add_compile_options(-msse2 -mfpmath=sse)
