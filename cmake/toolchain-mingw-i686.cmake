# Cross build for Windows (i686) with Debian's mingw-w64 compilers, posix
# thread model (std::thread and std::mutex need it).
#
#   cmake -S . -B build-win -G Ninja -DSKARVET_CORE_ONLY=ON \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SKARVET_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SKARVET_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKARVET_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SKARVET_MINGW_TRIPLE}-windres)

# Appended, so that the install folders of libraries cross-built for
# Windows (a Qt, a libjpeg) can be given as find roots:
#   -DCMAKE_FIND_ROOT_PATH="<qt>;<libjpeg>" -DCMAKE_PREFIX_PATH="<qt>;<libjpeg>"
# A cross-built Qt also wants the host's Qt tools:
#   -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${SKARVET_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes into the program file: nothing to ship beside it, and no
# dependence on a libstdc++ DLL of another mingw build found on PATH.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
