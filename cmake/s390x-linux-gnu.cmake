# Cross-builds the big-endian s390x program with Debian's cross compiler
# (package g++-s390x-linux-gnu):
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
# ctest then runs the test programs under qemu-user (package qemu-user),
# with the target's libraries from where the cross compiler has them.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TONVELO_TRIPLET s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x;-L;/usr/${TONVELO_TRIPLET})
