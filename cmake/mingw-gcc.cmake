# Cross build for Windows with MinGW-w64 GCC (posix thread model), for the
# processor ORVANTA_MINGW_PROCESSOR names: i686 (the program that ships) or
# x86_64 (its 64-bit twin). The toolchain files set it and include this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORVANTA_MINGW_PROCESSOR})
set(ORVANTA_MINGW_TARGET ${ORVANTA_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVANTA_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANTA_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANTA_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORVANTA_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine through the project's own prefix (the runner picks
# the Wine and the prefix that start the program's kind).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
