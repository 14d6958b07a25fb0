# Cross-builds the 32-bit x86 program with Debian's cross compiler (package
# g++-i686-linux-gnu):
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
# An amd64 kernel runs it as it is, with the 32-bit C and C++ libraries
# (packages libc6-i386 and lib32stdc++6), so ctest needs no emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TONVELO_TRIPLET i686-linux-gnu)
set(CMAKE_C_COMPILER ${TONVELO_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TONVELO_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TONVELO_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
