# The browsers' own hints that offer the extension to the customer once the bridge package is
# installed (component `bridge`):
#   Chromium and Google Chrome: an external-extension file named after the extension's id,
#     holding the update URL the browser fetches the extension from;
#   Firefox: an enterprise-policy fragment that installs the add-on from its install URL
#     (the package links it as /etc/firefox/policies/policies.json where that file does not
#     exist; an administrator with policies of his own merges it into them).
# Both URLs are build settings; their defaults are the stores' public ones. A bank that hosts
# the extension itself points them at its own server.
set(QUILTA_WEBEXT_CHROME_UPDATE_URL "https://clients2.google.com/service/update2/crx"
    CACHE STRING "Update URL in the Chromium/Chrome external-extension hint")
set(QUILTA_WEBEXT_FIREFOX_INSTALL_URL
    "https://addons.mozilla.org/firefox/downloads/latest/${QUILTA_WEBEXT_GECKO_ID}/latest.xpi"
    CACHE STRING "Install URL of the add-on in the Firefox policy fragment")

set(_hints ${CMAKE_BINARY_DIR}/browser-hints)
file(WRITE ${_hints}/${QUILTA_WEBEXT_CHROMIUM_ID}.json
     "{\n  \"external_update_url\": \"${QUILTA_WEBEXT_CHROME_UPDATE_URL}\"\n}\n")
file(WRITE ${_hints}/policies.json
"{
  \"policies\": {
    \"ExtensionSettings\": {
      \"${QUILTA_WEBEXT_GECKO_ID}\": {
        \"installation_mode\": \"normal_installed\",
        \"install_url\": \"${QUILTA_WEBEXT_FIREFOX_INSTALL_URL}\"
      }
    }
  }
}
")
install(FILES ${_hints}/${QUILTA_WEBEXT_CHROMIUM_ID}.json
        DESTINATION share/chromium/extensions COMPONENT bridge)
install(FILES ${_hints}/${QUILTA_WEBEXT_CHROMIUM_ID}.json
        DESTINATION share/google-chrome/extensions COMPONENT bridge)
install(FILES ${_hints}/policies.json DESTINATION share/quilta/firefox COMPONENT bridge)
