# Cross-builds the big-endian s390x program with Debian's cross compiler
# (package g++-s390x-linux-gnu):
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
# ctest then runs the test programs under qemu-user (package qemu-user),
# with the target's libraries from where the cross compiler has them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(TONVELO_TRIPLET s390x-linux-gnu)
set(CMAKE_C_COMPILER ${TONVELO_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TONVELO_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TONVELO_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x;-L;/usr/${TONVELO_TRIPLET})
