# The demo's time split drives libnpquilta.so through the page-script host's browser and
# plays the `bank` statements with the host's own code.
target_link_libraries(${name} PRIVATE quilta_pagehost_parties)
target_compile_definitions(${name} PRIVATE
  QUILTA_DEMO_SCRIPT="${PROJECT_SOURCE_DIR}/tools/demo/web-atm.page")
