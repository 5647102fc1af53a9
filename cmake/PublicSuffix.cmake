# quilta_check_not_public_suffix(DOMAIN): fails the configure step when DOMAIN is a public
# suffix (a name under which anyone may register hosts: "com.tw", "github.io"), by the rules
# of the public suffix list where one is installed (Debian's publicsuffix package). Without
# the list only the one-label and address checks of Deployment.cmake hold.
set(QUILTA_PUBLIC_SUFFIX_LIST "/usr/share/publicsuffix/public_suffix_list.dat"
    CACHE FILEPATH "The public suffix list the bank domain is checked against")

function(quilta_check_not_public_suffix domain)
  if(NOT EXISTS "${QUILTA_PUBLIC_SUFFIX_LIST}")
    return()
  endif()
  file(STRINGS "${QUILTA_PUBLIC_SUFFIX_LIST}" rules REGEX "^[^/ \t]")
  # The rule "*.parent" makes every "x.parent" a suffix unless "!x.parent" is listed.
  string(REGEX REPLACE "^[^.]+\\." "*." wildcard "${domain}")
  set(public FALSE)
  list(FIND rules "${domain}" exact)
  list(FIND rules "${wildcard}" star)
  list(FIND rules "!${domain}" exception)
  if(exact GREATER -1 OR (star GREATER -1 AND exception EQUAL -1))
    message(FATAL_ERROR "QUILTA_BANK_DOMAIN \"${domain}\" is a public suffix (anyone may register "
                        "a host under it; ${QUILTA_PUBLIC_SUFFIX_LIST}). Give the bank's own domain.")
  endif()
endfunction()
