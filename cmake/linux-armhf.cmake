# Cross build of the tool for 32-bit ARM Linux with hardware floating point,
# where char is unsigned (Debian: g++-arm-linux-gnueabihf). Usage:
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/linux-armhf.cmake -DQRV_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QRV_CROSS_PREFIX arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
