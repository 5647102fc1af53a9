# Run by `cmake --install`: writes the host manifests for the installed host, whose path
# is known only now (the install prefix may be given at install time). DESTDIR is honoured.
# Inputs (set by the install rule): SRC (this folder), HOST_NAME, CHROMIUM_ID, GECKO_ID,
# HOST_DIR (the host's folder below the prefix), CHROMIUM_DIR, FIREFOX_DIR (absolute).
set(QUILTA_NM_HOST_NAME "${HOST_NAME}")
set(QUILTA_WEBEXT_CHROMIUM_ID "${CHROMIUM_ID}")
set(QUILTA_WEBEXT_GECKO_ID "${GECKO_ID}")
set(QUILTA_NM_HOST_PATH "${CMAKE_INSTALL_PREFIX}/${HOST_DIR}/quilta-nmhost")
foreach(browser chromium firefox)
  if(browser STREQUAL chromium)
    set(dir "${CHROMIUM_DIR}")
  else()
    set(dir "${FIREFOX_DIR}")
  endif()
  set(out "$ENV{DESTDIR}${dir}/${HOST_NAME}.json")
  configure_file("${SRC}/${browser}.json.in" "${out}" @ONLY)
  message(STATUS "Installing: ${out}")
endforeach()
