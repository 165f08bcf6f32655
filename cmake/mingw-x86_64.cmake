# Cross build of the 64-bit Windows console program with mingw-w64
# (Debian: g++-mingw-w64-x86-64). Usage:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DQRV_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QRV_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
