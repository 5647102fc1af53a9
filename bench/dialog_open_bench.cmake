# The dialog benchmark watches the X server itself and shows its dialogs through the GTK
# helper, found next to the program as the native host finds it: a link to it beside the
# benchmark.
pkg_check_modules(QUILTA_BENCH_X11 REQUIRED IMPORTED_TARGET x11)
target_link_libraries(${name} PRIVATE PkgConfig::QUILTA_BENCH_X11)
if(TARGET quilta-dialogs)
  add_dependencies(${name} quilta-dialogs)
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:quilta-dialogs>
            $<TARGET_FILE_DIR:${name}>/quilta-dialogs
    VERBATIM)
endif()
