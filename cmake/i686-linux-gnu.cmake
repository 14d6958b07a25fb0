# Cross-builds the 32-bit x86 program with Debian's cross compiler (package
# g++-i686-linux-gnu):
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
# An amd64 kernel runs it as it is, with the 32-bit C and C++ libraries
# (packages libc6-i386 and lib32stdc++6), so ctest needs no emulator.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TONVELO_TRIPLET i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
