# Cross-compiling for Windows with Debian's mingw-w64. Included by the
# toolchain file of each architecture, which sets MORVALEN_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MORVALEN_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${MORVALEN_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${MORVALEN_MINGW_PREFIX}-windres)
# The resource object must be made for the same architecture as the code.
set(MORVALEN_WINDRES ${MORVALEN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MORVALEN_MINGW_PREFIX})
# Programs (python3, windres) come from the host; headers and libraries
# only from the target's root.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
