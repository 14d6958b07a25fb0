# What every cross build with one of Debian's cross compilers for Linux
# shares; the toolchain file that includes it names the compiler's triplet
# in TONVELO_TRIPLET and its processor in CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TONVELO_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TONVELO_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TONVELO_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
