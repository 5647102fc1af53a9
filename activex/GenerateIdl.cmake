# Writes the control's interface definition (IDL) from the member table and the identities of
# registry.def (the GUIDs, the interface's name, the library's version and help string).
#   cmake -DMEMBERS=base/members.def -DREGISTRY=activex/registry.def -DOUT=tovak.idl -P GenerateIdl.cmake
# Entry order is the dispatch-id order of the table, each property's get before its put;
# 157 entries (30 methods, 85 gets, 42 puts; the VtableOnly row is left out). Parameter names
# and help strings are the ones scripting tools show: `pVal` for results (`ret` for the five
# methods below), the table's argument names for inputs, `newVal` for property puts,
# "method X" / "property X".
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/ComRegistry.cmake)
quilta_read_com_registry("${REGISTRY}")
foreach(id CLSID LIBID IID)
  string(REGEX REPLACE "^{(.*)}$" "\\1" ${id} "${QUILTA_COM_${id}}")
endforeach()

set(ret_named DoActiveTAC SetCardActive DoInput SetPinActive SetCardData)

file(STRINGS "${MEMBERS}" lines REGEX "^QUILTA_(METHOD|PROP)\\(")
set(entries "")
set(count 0)
foreach(line IN LISTS lines)
  # The VtableOnly row has no dispatch id: only the control's C++ interface (IZELBEx) has it.
  if(line MATCHES "^QUILTA_METHOD\\([^,]*, *[A-Za-z0-9]+, *VtableOnly,")
    continue()
  endif()
  if(line MATCHES "^QUILTA_METHOD\\(([0-9]+), *([A-Za-z0-9]+), *([A-Za-z]+), *([0-9]), *\"([A-Za-z]*)\", *\"([A-Za-z]*)\", *\"([A-Za-z]*)\", *([A-Za-z0-9]+),")
    set(dispid ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    set(argc ${CMAKE_MATCH_4})
    set(args "")
    foreach(i RANGE 1 3)
      math(EXPR idx "${i} + 4")
      if(i LESS_EQUAL argc)
        list(APPEND args "[in] BSTR ${CMAKE_MATCH_${idx}}")
      endif()
    endforeach()
    if(CMAKE_MATCH_8 STREQUAL "Version")
      list(APPEND args "[out, retval] BSTR* pVal")
    elseif(name IN_LIST ret_named)
      list(APPEND args "[out, retval] long* ret")
    else()
      list(APPEND args "[out, retval] long* pVal")
    endif()
    list(JOIN args ", " params)
    set(text "    [id(${dispid}), helpstring(\"method ${name}\")]\n    HRESULT ${name}(${params});\n")
    math(EXPR count "${count} + 1")
  elseif(line MATCHES "^QUILTA_PROP\\(([0-9]+), *([A-Za-z0-9]+), *(RW|R|W), *(Text|Int),")
    set(dispid ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    set(access ${CMAKE_MATCH_3})
    if(CMAKE_MATCH_4 STREQUAL "Int")
      set(type long)
    else()
      set(type BSTR)
    endif()
    set(text "")
    if(NOT access STREQUAL "W")
      string(APPEND text "    [propget, id(${dispid}), helpstring(\"property ${name}\")]\n"
                         "    HRESULT ${name}([out, retval] ${type}* pVal);\n")
      math(EXPR count "${count} + 1")
    endif()
    if(NOT access STREQUAL "R")
      string(APPEND text "    [propput, id(${dispid}), helpstring(\"property ${name}\")]\n"
                         "    HRESULT ${name}([in] ${type} newVal);\n")
      math(EXPR count "${count} + 1")
    endif()
  else()
    message(FATAL_ERROR "GenerateIdl: cannot read the member table row: ${line}")
  endif()
  # Sort key: the dispatch id, zero-padded.
  string(LENGTH "${dispid}" len)
  math(EXPR pad "5 - ${len}")
  string(REPEAT "0" ${pad} zeros)
  string(REPLACE ";" "@SEMI@" text "${text}")
  list(APPEND entries "${zeros}${dispid}|${text}")
endforeach()

if(NOT count EQUAL 157)
  message(FATAL_ERROR "GenerateIdl: ${count} interface entries, expected 157")
endif()

list(SORT entries COMPARE STRING)
set(body "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^[0-9]+\\|" "" text "${entry}")
  string(REPLACE "@SEMI@" ";" text "${text}")
  string(APPEND body "${text}")
endforeach()

file(WRITE "${OUT}.tmp" "\
// Generated from base/members.def and activex/registry.def by activex/GenerateIdl.cmake: do not edit.
import \"oaidl.idl\";
import \"ocidl.idl\";

[
    object,
    uuid(${IID}),
    dual,
    nonextensible,
    oleautomation,
    helpstring(\"${QUILTA_COM_INTERFACE} Interface\"),
    pointer_default(unique)
]
interface ${QUILTA_COM_INTERFACE} : IDispatch
{
${body}};

[
    uuid(${LIBID}),
    version(${QUILTA_COM_LIBRARY_VERSION}),
    helpstring(\"${QUILTA_COM_LIBRARY_HELP}\")
]
library TOVAKLib
{
    importlib(\"stdole2.tlb\");

    [
        uuid(${CLSID}),
        helpstring(\"${QUILTA_COM_CLASS_NAME}\")
    ]
    coclass CZELB
    {
        [default] interface ${QUILTA_COM_INTERFACE};
    };
};
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
