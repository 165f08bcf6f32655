# Shared part of the Linux cross toolchain files: set CMAKE_SYSTEM_PROCESSOR
# and QRV_CROSS_PREFIX (e.g. s390x-linux-gnu) first, then include this.
# Only the tool is meant to be built this way (-DQRV_BUILD_TESTS=OFF): the
# tests stay native and run it under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)

find_program(QRV_CROSS_CXX NAMES ${QRV_CROSS_PREFIX}-g++ REQUIRED)
set(CMAKE_CXX_COMPILER ${QRV_CROSS_CXX})

set(CMAKE_FIND_ROOT_PATH /usr/${QRV_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
