# The plug-in benchmark drives libnpquilta.so through the page-script host's browser.
target_link_libraries(${name} PRIVATE quilta_pagehost_browser)
