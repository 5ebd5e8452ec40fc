# 32-bit Windows (i686): the program as it was written for.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MORVALEN_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
