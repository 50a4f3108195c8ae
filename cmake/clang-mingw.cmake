# Cross build for Windows with clang, on the MinGW-w64 headers and the C++
# runtime of the posix-threaded GCC cross compiler, for the processor
# ORVANTA_MINGW_PROCESSOR names: a second compiler's warnings over the same
# sources. The shipped program is built with GCC.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORVANTA_MINGW_PROCESSOR})
set(ORVANTA_MINGW_TARGET ${ORVANTA_MINGW_PROCESSOR}-w64-mingw32)
set(ORVANTA_MINGW_GCC /usr/lib/gcc/${ORVANTA_MINGW_TARGET}/12-posix)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ORVANTA_MINGW_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${ORVANTA_MINGW_TARGET})
set(CMAKE_SYSROOT /usr/${ORVANTA_MINGW_TARGET})
set(CMAKE_RC_COMPILER ${ORVANTA_MINGW_TARGET}-windres)
# clang doesn't find the C++ headers of Debian's "12-posix" folder by itself.
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${ORVANTA_MINGW_GCC}/include/c++ -isystem ${ORVANTA_MINGW_GCC}/include/c++/${ORVANTA_MINGW_TARGET}")
# The posix thread model's runtime (libstdc++, libgcc_eh) calls winpthreads,
# which the clang driver doesn't name after them: take all of it in first.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fuse-ld=bfd -L${ORVANTA_MINGW_GCC} -Wl,-Bstatic,--whole-archive -lpthread -Wl,--no-whole-archive")
set(CMAKE_FIND_ROOT_PATH /usr/${ORVANTA_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
