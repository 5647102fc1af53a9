# Shared part of the mingw-w64 toolchain files (QUILTA_MINGW_TRIPLE is set by the caller).
# The posix thread model of the compiler (winpthreads) carries the standard library's threads
# and clocks; everything the module needs at run time is linked in statically, so the DLL
# depends on system DLLs only (a missing libstdc++-6.dll would make registration fail).
set(CMAKE_C_COMPILER ${QUILTA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILTA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILTA_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILTA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No host packages through pkg-config.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${QUILTA_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
