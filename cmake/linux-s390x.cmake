# Cross build of the tool for s390x Linux, 64-bit and big-endian
# (Debian: g++-s390x-linux-gnu). Usage:
#   cmake -S . -B build-s390x -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/linux-s390x.cmake -DQRV_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(QRV_CROSS_PREFIX s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
