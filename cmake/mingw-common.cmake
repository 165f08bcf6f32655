# Shared part of the mingw-w64 toolchain files: set CMAKE_SYSTEM_PROCESSOR
# and QRV_MINGW_PREFIX (e.g. i686-w64-mingw32) first, then include this.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread variant needs no winpthread DLL; the tool has no threads.
find_program(QRV_MINGW_CXX NAMES ${QRV_MINGW_PREFIX}-g++-win32 ${QRV_MINGW_PREFIX}-g++-posix ${QRV_MINGW_PREFIX}-g++ REQUIRED)
find_program(QRV_MINGW_CC NAMES ${QRV_MINGW_PREFIX}-gcc-win32 ${QRV_MINGW_PREFIX}-gcc-posix ${QRV_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${QRV_MINGW_CXX})
if(QRV_MINGW_CC)
  set(CMAKE_C_COMPILER ${QRV_MINGW_CC})
endif()
set(CMAKE_RC_COMPILER ${QRV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QRV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no libgcc, libstdc++ or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
