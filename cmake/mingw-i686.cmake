# Cross build of the 32-bit Windows console program with mingw-w64
# (Debian: g++-mingw-w64-i686). Usage:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DQRV_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QRV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
