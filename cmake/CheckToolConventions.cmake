# One tool's answers to the conventions every tool keeps: --help (usage on standard output, status
# 0), --version (the version, status 0), an unknown option (a message and the usage on standard
# error, nothing on standard output, status 2).
#   cmake -DTOOL=<binary> -DNAME=<name> -DVERSION=<x.y.z> [-DEMULATOR=<runner>] -P CheckToolConventions.cmake
function(run_tool)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(rc "${rc}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

set(problems "")
run_tool(--help)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^usage: ${NAME} " OR NOT err STREQUAL "")
  string(APPEND problems "--help: status ${rc}, stdout '${out}', stderr '${err}'\n")
endif()
run_tool(--version)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^${NAME} [^\n]*${VERSION}\r?\n$")
  string(APPEND problems "--version: status ${rc}, stdout '${out}'\n")
endif()
run_tool(--no-such-option)
if(NOT rc EQUAL 2 OR NOT out STREQUAL "" OR NOT err MATCHES "^${NAME}: [^\n]*--no-such-option[^\n]*\nusage: ${NAME} ")
  string(APPEND problems "wrong usage: status ${rc}, stdout '${out}', stderr '${err}'\n")
endif()
if(problems)
  message(FATAL_ERROR "${NAME} breaks the tool conventions:\n${problems}")
endif()
message(STATUS "${NAME}: --help, --version and a wrong usage answer as they should")
