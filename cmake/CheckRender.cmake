# Compares the SHA-256 of the end-to-end render (RENDER) with the one kept in HASH_FILE: a change
# that moves the output of every target alike fails here, where comparing the targets cannot see it.
if(NOT EXISTS ${RENDER})
  message(FATAL_ERROR "${RENDER} is missing: the render test did not write it")
endif()
file(SHA256 ${RENDER} actual)
file(STRINGS ${HASH_FILE} kept LIMIT_COUNT 1 REGEX "^[0-9a-f]+")
string(REGEX MATCH "^[0-9a-f]+" kept "${kept}")
if(NOT actual STREQUAL kept)
  message(FATAL_ERROR "the render's SHA-256 is ${actual}, kept: ${kept} (${HASH_FILE})")
endif()
message(STATUS "render matches ${kept}")
