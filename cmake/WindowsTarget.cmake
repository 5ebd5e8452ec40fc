# The Windows build, 32- or 64-bit as the toolchain file says: morvalen.exe
# from the program's own sources and the resource script, against the real
# windows.h (no layer), with the runtime linked statically, as a GUI program.

if(MORVALEN_SANITIZE)
  message(FATAL_ERROR "The sanitizers are not available in the Windows build")
endif()

# The icons and the compiled resource image (morvalen.res).
add_subdirectory(app/res)

# The image as a COFF object the linker places in the .rsrc section.
set(res_object ${CMAKE_CURRENT_BINARY_DIR}/morvalen_res.o)
add_custom_command(OUTPUT ${res_object}
  COMMAND ${MORVALEN_WINDRES} -J res -i ${MORVALEN_RES_IMAGE} -O coff -o ${res_object}
  DEPENDS ${MORVALEN_RES_IMAGE}
  COMMENT "Converting morvalen.res to an object"
  VERBATIM)
set_source_files_properties(${res_object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)

file(GLOB PROGRAM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/survey/*.cpp
  ${CMAKE_SOURCE_DIR}/app/*.cpp
  ${CMAKE_SOURCE_DIR}/winobj/*.cpp
  ${CMAKE_SOURCE_DIR}/msgbox/*.cpp)

add_executable(morvalen WIN32 ${PROGRAM_SOURCES} ${res_object})
set_target_properties(morvalen PROPERTIES OUTPUT_NAME morvalen SUFFIX .exe)
target_link_options(morvalen PRIVATE -static -static-libgcc -static-libstdc++ -mwindows
  $<$<CONFIG:Release,MinSizeRel>:-s>)
target_link_libraries(morvalen PRIVATE user32 gdi32 shell32 kernel32)
target_include_directories(morvalen PRIVATE ${CMAKE_SOURCE_DIR})
morvalen_warnings(morvalen)
