# docs/members.md is the output of `quilta-members --markdown`.
#   cmake -DTOOL=quilta-members -DDOC=docs/members.md [-DUPDATE=ON] -P members_doc.cmake
# Without UPDATE it fails when the file differs; with UPDATE it rewrites the file.
# The tool fails when a status has no advice for the page (what to tell the customer).
execute_process(COMMAND "${TOOL}" --markdown OUTPUT_VARIABLE generated ERROR_VARIABLE why
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} --markdown failed (${rc}):\n${why}")
endif()
if(UPDATE)
  file(WRITE "${DOC}" "${generated}")
  message(STATUS "wrote ${DOC}")
  return()
endif()
if(EXISTS "${DOC}")
  file(READ "${DOC}" current)
else()
  set(current "")
endif()
if(NOT current STREQUAL generated)
  message(FATAL_ERROR "${DOC} is out of date with the member and status tables: run "
                      "`cmake --build <build> --target update-docs` and commit it")
endif()
message(STATUS "${DOC} is up to date")
