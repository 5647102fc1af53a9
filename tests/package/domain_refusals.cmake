# The configure step refuses a bank domain that would admit hosts the bank does not run:
# one label, an address, a public suffix. Run with -DSRC=<source tree> -DWORK=<scratch dir>.
set(cases
  "tw|one label only"
  "10.1.2.3|is an address"
  "com.tw|is a public suffix"
  "foo.ck|is a public suffix")
set(failures 0)
foreach(case ${cases})
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 domain)
  list(GET parts 1 want)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SRC} -B ${WORK}/${domain} -DQUILTA_BANK_DOMAIN=${domain}
            -DQUILTA_BUILD_TESTS=OFF -DQUILTA_BUILD_BENCH=OFF
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(REMOVE_RECURSE ${WORK}/${domain})
  string(REGEX REPLACE "[ \n]+" " " said "${err}")
  if(rc EQUAL 0 OR NOT said MATCHES "${want}")
    message(SEND_ERROR "${domain}: configure gave ${rc}, wanted a refusal saying \"${want}\":\n${err}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} domain(s) not refused")
endif()
