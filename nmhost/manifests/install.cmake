# Run by `cmake --install`: writes the host manifests for the installed host, whose path
# is known only now (the install prefix may be given at install time). DESTDIR is honoured.
# Inputs (set by the install rule): SRC (this folder), HOST_NAME, CHROMIUM_ID, GECKO_ID,
# HOST_DIR (the host's folder below the prefix), CHROMIUM_DIR, CHROME_DIR, FIREFOX_DIR
# (absolute). Chromium and Google Chrome read the same manifest, each in its own folder.
set(QUILTA_NM_HOST_NAME "${HOST_NAME}")
set(QUILTA_WEBEXT_CHROMIUM_ID "${CHROMIUM_ID}")
set(QUILTA_WEBEXT_GECKO_ID "${GECKO_ID}")
set(QUILTA_NM_HOST_PATH "${CMAKE_INSTALL_PREFIX}/${HOST_DIR}/quilta-nmhost")
foreach(pair "chromium;${CHROMIUM_DIR}" "chromium;${CHROME_DIR}" "firefox;${FIREFOX_DIR}")
  list(GET pair 0 template)
  list(GET pair 1 dir)
  set(out "$ENV{DESTDIR}${dir}/${HOST_NAME}.json")
  configure_file("${SRC}/${template}.json.in" "${out}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${dir}/${HOST_NAME}.json")  # for uninstall
  message(STATUS "Installing: ${out}")
endforeach()
