# The generated parts of the bank server team's documents:
#   docs/server-vectors.md   the output of `quilta-server-vectors --vectors`
#   docs/server.md           between "<!-- generated: quilta-server-vectors --layouts -->" and
#                            "<!-- end of generated -->", the output of `--layouts`
#   cmake -DTOOL=quilta-server-vectors -DSRC=<source tree> [-DUPDATE=ON] -P server_docs.cmake
# Without UPDATE it fails when a file differs; with UPDATE it rewrites them. The vectors are
# made with the development key table: in a tree built with another table the check says
# "skipped" (the test takes that for a skip) and compares the layouts only.
set(begin_marker "<!-- generated: quilta-server-vectors --layouts -->\n")
set(end_marker "<!-- end of generated -->")
set(vectors_doc "${SRC}/docs/server-vectors.md")
set(server_doc "${SRC}/docs/server.md")

execute_process(COMMAND "${TOOL}" --layouts OUTPUT_VARIABLE layouts RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} --layouts failed (${rc})")
endif()
execute_process(COMMAND "${TOOL}" --vectors --keytable "${SRC}/resources/dev-keytable.txt"
                OUTPUT_VARIABLE vectors ERROR_VARIABLE vectors_error RESULT_VARIABLE rc)
set(vectors_skipped OFF)
if(rc EQUAL 2)
  set(vectors_skipped ON)
  string(STRIP "${vectors_error}" vectors_error)
elseif(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} --vectors failed (${rc}): ${vectors_error}")
endif()

file(READ "${server_doc}" server)
string(FIND "${server}" "${begin_marker}" begin)
string(FIND "${server}" "${end_marker}" end)
if(begin EQUAL -1 OR end EQUAL -1 OR end LESS begin)
  message(FATAL_ERROR "${server_doc} lacks the markers of its generated section")
endif()
string(LENGTH "${begin_marker}" begin_length)
math(EXPR body "${begin} + ${begin_length}")
string(SUBSTRING "${server}" 0 ${body} head)
string(SUBSTRING "${server}" ${end} -1 tail)
set(server_generated "${head}${layouts}${tail}")

if(UPDATE)
  file(WRITE "${server_doc}" "${server_generated}")
  message(STATUS "wrote ${server_doc}")
  if(vectors_skipped)
    message(FATAL_ERROR "${vectors_error}${vectors_doc} is made with the development key table only")
  endif()
  file(WRITE "${vectors_doc}" "${vectors}")
  message(STATUS "wrote ${vectors_doc}")
  return()
endif()

set(stale "")
if(NOT server STREQUAL server_generated)
  list(APPEND stale "${server_doc}")
endif()
if(NOT vectors_skipped)
  if(EXISTS "${vectors_doc}")
    file(READ "${vectors_doc}" current)
  else()
    set(current "")
  endif()
  if(NOT current STREQUAL vectors)
    list(APPEND stale "${vectors_doc}")
  endif()
endif()
if(stale)
  message(FATAL_ERROR "out of date with the code: ${stale}; run "
                      "`cmake --build <build> --target update-docs` and commit")
endif()
if(vectors_skipped)
  message(STATUS "the block layouts are up to date; vectors skipped: ${vectors_error}")
  return()
endif()
message(STATUS "${server_doc} and ${vectors_doc} are up to date")
