# Checks that a module exports exactly the NP_ entry points a browser looks up, and nothing
# else (no development hooks, none of the system's own symbols).
#   cmake -DNM=nm -DMODULE=path/libnpquilta.so -P check_exports.cmake
set(expected NP_GetMIMEDescription NP_GetValue NP_Initialize NP_Shutdown)

execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} -D --defined-only ${MODULE} failed (${rc}): ${err}")
endif()

# Lines look like "0000000000012340 T NP_Initialize" (a version suffix "@@V" is dropped).
set(found)
string(REPLACE "\n" ";" lines "${out}")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^@ ]+)")
    list(APPEND found "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(SORT found)
list(REMOVE_DUPLICATES found)

if(NOT found STREQUAL expected)
  list(JOIN found "\n  " found_text)
  list(JOIN expected "\n  " expected_text)
  message(FATAL_ERROR "${MODULE} exports\n  ${found_text}\nbut must export exactly\n  ${expected_text}")
endif()
message(STATUS "${MODULE}: exports only the NP_ entry points")

# Nor does it read an override from the environment (a variable naming another dialog helper
# or another card source would let whoever starts the browser answer the consent dialogs).
file(STRINGS "${MODULE}" overrides REGEX "QUILTA_[A-Z_]+")
if(overrides)
  message(FATAL_ERROR "${MODULE} names environment overrides: ${overrides}")
endif()
message(STATUS "${MODULE}: reads no QUILTA_ override")
