# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix).
# The posix flavour is the one whose libstdc++ has std::thread and std::mutex.
# Programs are linked statically, so a built .exe runs on a bare Windows (or under Wine) without
# the MinGW runtime DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KVT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KVT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and tools built here run under Wine on the build machine.
find_program(KVT_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(KVT_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KVT_WINE64})
endif()
