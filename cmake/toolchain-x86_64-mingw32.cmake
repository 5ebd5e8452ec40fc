# 64-bit Windows (x86-64): what a current Windows runs natively.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MORVALEN_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
