# Shared part of the Windows cross toolchains: Debian's MinGW-w64 compilers
# (the posix thread model, which std::thread needs), for the target named by
# TRIMVANE_MINGW_TARGET. Used through mingw-w64-i686.cmake or
# mingw-w64-x86_64.cmake, never alone.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TRIMVANE_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRIMVANE_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRIMVANE_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRIMVANE_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime (libgcc, libstdc++, winpthread) goes into the .exe: it runs
# alone, needing only what every Windows has (kernel32, msvcrt). No link time
# in the header, so that two builds give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# Windows programs built here run under Wine on the build machine (tests);
# the loader can be chosen with -DCMAKE_CROSSCOMPILING_EMULATOR=...
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
