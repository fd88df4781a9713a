# Windows 32-bit, the reference target: mingw-w64 with the posix thread model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# GCC 12's basic-block vectorizer has been seen to miscompute byte-wise pixel arithmetic on this
# target (x87 without SSE); keep it off for the whole tree.
set(CMAKE_C_FLAGS_INIT "-fno-tree-slp-vectorize")
set(CMAKE_CXX_FLAGS_INIT "-fno-tree-slp-vectorize")
