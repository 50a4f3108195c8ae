# Cross build for 32-bit Windows with MinGW-w64 (posix thread model).
set(ORVANTA_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-gcc.cmake)
