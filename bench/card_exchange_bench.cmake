# The raw side of the comparison calls pcsc-lite directly.
pkg_check_modules(QUILTA_BENCH_PCSCLITE IMPORTED_TARGET libpcsclite)
if(QUILTA_BENCH_PCSCLITE_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::QUILTA_BENCH_PCSCLITE)
  target_compile_definitions(${name} PRIVATE QUILTA_BENCH_HAVE_PCSCLITE=1)
endif()
