# Cross-builds the library as a 64-bit Windows DLL with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Tests built for Windows run under wine when it is installed.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_mingw x86_64-w64-mingw32)

# The POSIX thread model provides std::thread and std::mutex with GCC 12; the win32 one does
# not. Either works for the library itself, whose runtime is linked statically.
find_program(_mingw_gcc NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(_mingw_gxx NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
set(CMAKE_C_COMPILER ${_mingw_gcc})
set(CMAKE_CXX_COMPILER ${_mingw_gxx})
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)
find_program(CMAKE_DLLTOOL NAMES ${_mingw}-dlltool REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${_mingw}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No Windows JDK is needed: the JDK's portable jni.h is combined with a machine header of the
# project's for Windows x64.
set(JKESTRUNE_JNI_MD_DIR ${CMAKE_CURRENT_LIST_DIR}/windows-jni)

# Windows test executables run under wine, when it is installed.
find_program(JKESTRUNE_WINE NAMES wine wine64)
if(JKESTRUNE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${JKESTRUNE_WINE})
endif()
