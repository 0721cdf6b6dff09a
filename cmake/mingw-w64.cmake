# Cross-builds for 64-bit Windows with Debian's mingw-w64 compilers of the POSIX thread model,
# which the standard library's threads need. Programs link statically, so that the .exe runs
# alone, without the compiler's DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(COLVANE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${COLVANE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${COLVANE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${COLVANE_MINGW}-windres)
# Only the mingw folder is searched for libraries and headers: the build machine's own
# /usr/include holds glibc's headers, which break a Windows build.
set(CMAKE_FIND_ROOT_PATH /usr/${COLVANE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# off_t, where code still names it, is 64 bits as on Linux, not the 32 of mingw's default.
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
