# Cross build for 32-bit Windows with clang (see clang-mingw.cmake).
set(ORVANTA_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
