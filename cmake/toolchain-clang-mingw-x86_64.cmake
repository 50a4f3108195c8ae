# Cross build for 64-bit Windows with clang (see clang-mingw.cmake).
set(ORVANTA_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/clang-mingw.cmake)
