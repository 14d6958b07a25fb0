# Cross-builds the Windows program with Debian's mingw-w64 (packages
# g++-mingw-w64-x86-64 and wine64):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# ctest then runs the Windows test programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model, whose libstdc++ has every C++11 thread facility.
set(TONVELO_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TONVELO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TONVELO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TONVELO_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TONVELO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in: a clean Windows has none of the MinGW runtime
# DLLs, and the zip holds nothing beside tonvelo.exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs run under Wine in a prefix kept in the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
  "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
