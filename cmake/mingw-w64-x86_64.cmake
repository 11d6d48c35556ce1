# Cross-compiling for 64-bit Windows with Debian's mingw-w64. The -posix
# compilers carry the C++ thread support (std::mutex) through winpthread,
# which the build links statically.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
