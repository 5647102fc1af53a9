# Reads registry.def (the control's identities and registry rows) for the build's generators:
#   quilta_read_com_registry(FILE)
# sets QUILTA_COM_<NAME> to each identity's text and QUILTA_COM_ROWS to the rows, each
# "Part|key|name|value|kind" (kind: key, empty or value; name empty for the default value),
# with the texts' placeholders as they stand and backslashes single.
function(quilta_read_com_registry file)
  file(STRINGS "${file}" lines REGEX "^QUILTA_COM_")
  set(rows "")
  set(str "\"([^\"|;]*)\"")  # no quote, bar or semicolon inside
  foreach(line IN LISTS lines)
    if(line MATCHES "^QUILTA_COM_ID\\(([A-Z_0-9]+), *${str}\\)$")
      string(REPLACE "\\\\" "\\" text "${CMAKE_MATCH_2}")
      set(QUILTA_COM_${CMAKE_MATCH_1} "${text}" PARENT_SCOPE)
      continue()
    elseif(line MATCHES "^QUILTA_COM_KEY\\((Class|TypeLib), *${str}, *${str}\\)$")
      set(row "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}||${CMAKE_MATCH_3}|key")
    elseif(line MATCHES "^QUILTA_COM_EMPTY_KEY\\((Class|TypeLib), *${str}\\)$")
      set(row "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}|||empty")
    elseif(line MATCHES "^QUILTA_COM_VALUE\\((Class|TypeLib), *${str}, *${str}, *${str}\\)$")
      set(row "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}|${CMAKE_MATCH_3}|${CMAKE_MATCH_4}|value")
    else()
      message(FATAL_ERROR "${file}: cannot read the row: ${line}")
    endif()
    string(REPLACE "\\\\" "\\" row "${row}")
    list(APPEND rows "${row}")
  endforeach()
  set(QUILTA_COM_ROWS "${rows}" PARENT_SCOPE)
endfunction()

# OUT = TEXT with the identities' placeholders replaced (the others, %MODULE% and the like,
# left for the caller). Call it where quilta_read_com_registry set the identities.
function(quilta_expand_com_text out text)
  string(REGEX MATCHALL "%[A-Z_0-9]+%" names "${text}")
  foreach(placeholder IN LISTS names)
    string(REGEX REPLACE "^%(.*)%$" "\\1" name "${placeholder}")
    if(DEFINED QUILTA_COM_${name})
      string(REPLACE "${placeholder}" "${QUILTA_COM_${name}}" text "${text}")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
