# Writes the package's source for wixl: OUT_DIR/quilta.wxs from quilta.wxs.in, and the host
# manifests it installs, OUT_DIR/<host name>-chromium.json and -firefox.json.
#   cmake -DREGISTRY=activex/registry.def -DTEMPLATE=quilta.wxs.in -DOUT_DIR=DIR
#         -DVERSION=1.0.1 -DUPGRADE_CODE=GUID -DPRODUCT_NAME=... -DMANUFACTURER=...
#         -DMODULE64=npquilta.dll -DMODULE32=npquilta.dll -DHOST=quilta-nmhost.exe
#         -DCONFIG64=quilta_config.h -DCONFIG32=quilta_config.h
#         -DHOST_NAME=... -DCHROMIUM_ID=... -DUPDATE_URL=...
#         -DCHROMIUM_MANIFEST=FILE -DFIREFOX_MANIFEST=FILE "-DPROGRAM_FILES64=C:\Program Files"
#         -P GenerateWxs.cmake
# The COM rows are registry.def's, all of them for each module: the Class rows DllRegisterServer
# writes and the type library's, which the module leaves to RegisterTypeLib. %MODULE% becomes
# the installed file, %FOLDER% its folder (as the installer names a folder: with a trailing
# backslash), %WIN% the module's architecture. Keys without values are created on install and
# removed on uninstall. The manifests are the host's own templates (CHROMIUM_MANIFEST and
# FIREFOX_MANIFEST, "%HOST_PATH%" in quotes where the program goes) with the program's
# installed path as a JSON string, the text `quilta-nmhost.exe --register` writes there.
# Refuses modules of the wrong architecture and an i686 tree built with other deployment
# settings (CONFIG32, its quilta_config.h, must equal CONFIG64).
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/../../activex/ComRegistry.cmake)

# PE machine of FILE: 8664 (x86_64) or 014c (i686).
function(pe_machine out file)
  file(READ "${file}" lfanew OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" lfanew "${lfanew}")
  math(EXPR at "0x${lfanew} + 4")
  file(READ "${file}" machine OFFSET ${at} LIMIT 2 HEX)
  string(REGEX REPLACE "^(..)(..)$" "\\2\\1" machine "${machine}")
  set(${out} "${machine}" PARENT_SCOPE)
endfunction()

foreach(pair "MODULE64;8664" "MODULE32;014c" "HOST;8664")
  list(GET pair 0 var)
  list(GET pair 1 want)
  pe_machine(machine "${${var}}")
  if(NOT machine STREQUAL want)
    message(FATAL_ERROR "GenerateWxs: ${${var}} is PE machine ${machine}, not ${want}")
  endif()
endforeach()
file(READ "${CONFIG64}" config64)
file(READ "${CONFIG32}" config32)
if(NOT config64 STREQUAL config32)
  message(FATAL_ERROR "GenerateWxs: the i686 tree (${CONFIG32}) has other deployment settings "
                      "than the x86_64 tree (${CONFIG64}): configure both alike")
endif()

# TEXT as an MSI formatted text (brackets escaped) inside an XML attribute.
function(wxs_text out text)
  string(REPLACE "[" "<LB>" text "${text}")
  string(REPLACE "]" "<RB>" text "${text}")
  string(REPLACE "<LB>" "[\\[]" text "${text}")
  string(REPLACE "<RB>" "[\\]]" text "${text}")
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

quilta_read_com_registry("${REGISTRY}")

# A row's text for the package: the identities, then the module's placeholders.
function(com_text out text file_id folder_id win)
  quilta_expand_com_text(text "${text}")
  wxs_text(text "${text}")
  string(REPLACE "%MODULE%" "[#${file_id}]" text "${text}")
  string(REPLACE "%FOLDER%" "[${folder_id}]" text "${text}")
  string(REPLACE "%WIN%" "${win}" text "${text}")
  if(text MATCHES "%[A-Z_0-9]+%")
    message(FATAL_ERROR "GenerateWxs: unknown placeholder in ${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The Registry elements of one module's component: FILE_ID its File, FOLDER_ID its Directory.
function(com_rows out file_id folder_id win)
  set(xml "")
  foreach(row IN LISTS QUILTA_COM_ROWS)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 1 key)
    list(GET fields 2 name)
    list(GET fields 3 value)
    list(GET fields 4 kind)
    com_text(key "${key}" ${file_id} ${folder_id} ${win})
    if(kind STREQUAL "empty")
      set(attrs "Name=\"*\" Value=\"\"")  # created on install, removed on uninstall
    else()
      com_text(value "${value}" ${file_id} ${folder_id} ${win})
      set(attrs "Value=\"${value}\"")
      if(kind STREQUAL "value")
        wxs_text(name "${name}")
        set(attrs "Name=\"${name}\" ${attrs}")
      endif()
    endif()
    string(APPEND xml "            <RegistryValue Root=\"HKCR\" Key=\"${key}\" ${attrs}"
                      " Type=\"string\"/>\n")
  endforeach()
  set(${out} "${xml}" PARENT_SCOPE)
endfunction()

com_rows(COM_ROWS_64 Module64 QuiltaFolder64 win64)
com_rows(COM_ROWS_32 Module32 QuiltaFolder32 win32)

# Component GUIDs: stable, from the UpgradeCode and the component's id.
foreach(component Module32 ExtensionHints Module64 Host)
  string(UUID GUID_${component} NAMESPACE "${UPGRADE_CODE}" NAME "component ${component}"
         TYPE SHA1 UPPER)
endforeach()

# The manifests, as the installed host's --register writes them.
set(program "${PROGRAM_FILES64}\\Quilta\\quilta-nmhost.exe")
string(REPLACE "\\" "\\\\" json_program "${program}")
string(REPLACE "\"" "\\\"" json_program "${json_program}")
foreach(pair "chromium;${CHROMIUM_MANIFEST}" "firefox;${FIREFOX_MANIFEST}")
  list(GET pair 0 browser)
  list(GET pair 1 template)
  file(READ "${template}" text)
  string(FIND "${text}" "\"%HOST_PATH%\"" at)
  if(at LESS 0)
    message(FATAL_ERROR "GenerateWxs: ${template} has no \"%HOST_PATH%\"")
  endif()
  string(REPLACE "\"%HOST_PATH%\"" "\"${json_program}\"" text "${text}")
  set(out "${OUT_DIR}/${HOST_NAME}-${browser}.json")
  if(EXISTS "${out}")
    file(READ "${out}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${out}" "${text}")
  endif()
  unset(old)
endforeach()

# wixl runs in OUT_DIR and takes the files by paths relative to it.
foreach(var MODULE64 MODULE32 HOST)
  file(RELATIVE_PATH ${var} "${OUT_DIR}" "${${var}}")
endforeach()
foreach(var PRODUCT_NAME MANUFACTURER UPDATE_URL PROGRAM_FILES64 HOST_NAME CHROMIUM_ID)
  wxs_text(${var} "${${var}}")
endforeach()
configure_file("${TEMPLATE}" "${OUT_DIR}/quilta.wxs" @ONLY)
