# Cross-building for 64-bit Windows with Debian's MinGW-w64 (scripts/windows.sh).
# The posix thread model: GCC 12's win32 model has no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PCPOS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PCPOS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PCPOS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PCPOS_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PCPOS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry the compiler's runtime, so that they start on a machine
# (or a Wine prefix) without MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run through Wine; ctest and gtest_discover_tests use this.
find_program(PCPOS_WINE NAMES wine wine64)
if(PCPOS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PCPOS_WINE})
endif()
