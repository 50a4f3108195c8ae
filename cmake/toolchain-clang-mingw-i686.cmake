# Cross build for 32-bit Windows with clang, on the MinGW-w64 headers and the
# C++ runtime of the posix-threaded GCC cross compiler: a second compiler's
# warnings over the same sources. The shipped program is built with GCC.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVANTA_MINGW_TARGET i686-w64-mingw32)
set(ORVANTA_MINGW_GCC /usr/lib/gcc/i686-w64-mingw32/12-posix)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ORVANTA_MINGW_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${ORVANTA_MINGW_TARGET})
set(CMAKE_SYSROOT /usr/i686-w64-mingw32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# clang doesn't find the C++ headers of Debian's "12-posix" folder by itself.
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${ORVANTA_MINGW_GCC}/include/c++ -isystem ${ORVANTA_MINGW_GCC}/include/c++/${ORVANTA_MINGW_TARGET}")
# The posix thread model's runtime (libstdc++, libgcc_eh) calls winpthreads,
# which the clang driver doesn't name after them: take all of it in first.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fuse-ld=bfd -L${ORVANTA_MINGW_GCC} -Wl,-Bstatic,--whole-archive -lpthread -Wl,--no-whole-archive")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
