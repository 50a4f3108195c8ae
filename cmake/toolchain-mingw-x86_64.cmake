# Cross build for 64-bit Windows with MinGW-w64 (posix thread model): the
# program's 64-bit twin.
set(ORVANTA_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-gcc.cmake)
