# Installation and the Debian package.
#
# `cmake --install` puts the installable plug-in module (no development hooks: npquilta in a
# tree configured with QUILTA_DEV_HOOKS=OFF, npquilta_release in a development tree; both are
# libnpquilta.so) into the folder where NPAPI browsers on Linux look for plug-ins, with the
# dialog helper quilta-dialogs beside it (the module starts the helper from its own folder).
# The default prefix is /usr, so the files land in /usr/lib/mozilla/plugins. The `uninstall`
# target removes what the last install wrote (install_manifest.txt).
#
# `cpack -G DEB` (tools/build-deb) makes two packages, one per install component
# (`cmake --install --component NAME` installs one alone):
#   quilta-plugin  (`plugin`) the NPAPI module and its dialog helper;
#   quilta-webatm  (`bridge`) the native-messaging host with its dialog helper, the host
#                  manifests for Chromium, Google Chrome and Firefox, the browsers' hints that
#                  offer the extension (nmhost/CMakeLists.txt, BrowserHints.cmake) and the
#                  doctor.
# Run time needs of both: pcscd and libpcsclite1 (loaded with dlopen), GTK 3 for the helper and
# the dialog font fonts-arphic-ukai. dpkg removes every file again (dpkg -r): nothing is a
# conffile.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
set(QUILTA_PLUGIN_DIR lib/mozilla/plugins CACHE STRING
    "Folder of the plug-in module and its dialog helper, under the install prefix")

if(QUILTA_DEV_HOOKS)
  set(_quilta_installable npquilta_release)
else()
  set(_quilta_installable npquilta)
endif()

if(UNIX AND NOT APPLE)
  install(TARGETS ${_quilta_installable} LIBRARY DESTINATION ${QUILTA_PLUGIN_DIR} COMPONENT plugin
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  if(TARGET quilta-dialogs)
    install(TARGETS quilta-dialogs RUNTIME DESTINATION ${QUILTA_PLUGIN_DIR} COMPONENT plugin)
  else()
    message(STATUS "quilta-dialogs is not built (no GTK 3): the install holds the module alone")
  endif()

  configure_file(${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake.in
                 ${CMAKE_BINARY_DIR}/cmake_uninstall.cmake @ONLY)
  add_custom_target(uninstall COMMAND ${CMAKE_COMMAND} -P ${CMAKE_BINARY_DIR}/cmake_uninstall.cmake
                    COMMENT "Removing the installed plug-in files")
endif()

set(CPACK_PACKAGE_NAME quilta)
set(CPACK_PACKAGE_VENDOR "Quilta")
set(CPACK_PACKAGE_CONTACT "Quilta web-ATM plug-in maintainers <webatm@${QUILTA_BANK_DOMAIN_LOWER}>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description: its summary line, then the text (CPack puts the package-wide
# summary before a component's description unless that summary is left at its default).
set(CPACK_DEBIAN_PLUGIN_DESCRIPTION
    "Web-ATM chip-card browser plug-in (NPAPI) for application/ZELB-Quilta-plugin
Lets the bank's web-ATM pages use the customer's FISC chip card through a PC/SC reader: \
reader session, card data, PIN and transaction authorisation codes, with the plug-in's own \
dialogs (GTK 3 helper). Built for the bank domain ${QUILTA_BANK_DOMAIN_LOWER}.")
set(CPACK_DEBIAN_BRIDGE_DESCRIPTION
    "Web-ATM chip-card bridge for Chromium, Google Chrome and Firefox
The native-messaging host the web-ATM extension talks to, with its dialogs (GTK 3 helper), \
the host manifests for Chromium, Google Chrome and Firefox naming only the extension, the \
browsers' hints that offer the extension, and quilta-doctor, which tells what stands between \
the browser and the card. Built for the bank domain ${QUILTA_BANK_DOMAIN_LOWER}.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pcscd, libpcsclite1, libgtk-3-0, fonts-arphic-ukai")
set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME quilta-plugin)
set(CPACK_DEBIAN_BRIDGE_PACKAGE_NAME quilta-webatm)
set(CPACK_DEBIAN_BRIDGE_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_LIST_DIR}/deb/postinst;${CMAKE_CURRENT_LIST_DIR}/deb/postrm")
set(CPACK_DEBIAN_BRIDGE_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# libc, libstdc++ and GLib come from the binaries themselves when dpkg-shlibdeps is there.
find_program(QUILTA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILTA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# One package per component.
set(CPACK_COMPONENTS_ALL plugin bridge)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_GENERATOR DEB)
include(CPack)
