# Shared build settings.

function(morvalen_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(MORVALEN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # Every program of the sanitizer build carries the leak suppressions.
  add_library(morvalen_lsan OBJECT ${CMAKE_SOURCE_DIR}/tests/support/lsan_suppressions.cpp)
  morvalen_warnings(morvalen_lsan)
  link_libraries("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:morvalen_lsan>")
endif()

# Adds every immediate subfolder of `dir` that has a CMakeLists.txt.
function(morvalen_add_subdirs dir)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# morvalen_gtest(NAME name SOURCES ... LIBS ...): one GoogleTest executable,
# its cases registered with CTest one by one.
function(morvalen_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
  morvalen_warnings(${T_NAME})
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${MORVALEN_TEST_ENVIRONMENT}"
                       LABELS "${T_LABELS}")
endfunction()

