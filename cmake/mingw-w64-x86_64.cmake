# Cross build for 64-bit Windows with Debian's MinGW-w64 (package mingw-w64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARKTOTALS_MINGW_TRIPLET x86_64-w64-mingw32)
# The "-posix" compilers: with GCC 12 the default "-win32" thread model has
# no std::thread or std::mutex. winpthread then comes in statically with
# libstdc++ (the exe links with -static), so no DLL of it ships.
set(CMAKE_C_COMPILER ${PARKTOTALS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARKTOTALS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PARKTOTALS_MINGW_TRIPLET}-windres)

# Headers and libraries from the MinGW sysroot only; programs (python3 for
# the icon) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PARKTOTALS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
