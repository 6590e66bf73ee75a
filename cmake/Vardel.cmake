# Helpers every module's CMakeLists.txt uses. Sources are always listed: a
# file joins the build by being named, never by being found.
#
#   vardel_library(NAME vardel_core SOURCES a.cpp b.cpp DEPS ...)
#                                              one static library
#   vardel_tests(NAME core_tests SOURCES tests/a_test.cpp DEPS ... [LABELS threads] [TIMEOUT s])
#                                              one gtest binary, run by ctest

function(vardel_library)
  cmake_parse_arguments(A "" "NAME" "DEPS;SOURCES" ${ARGN})
  if(NOT A_SOURCES)
    message(FATAL_ERROR "vardel_library(${A_NAME}): no SOURCES")
  endif()
  add_library(${A_NAME} STATIC ${A_SOURCES})
  target_include_directories(${A_NAME} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${A_NAME} PUBLIC ${A_DEPS})
endfunction()

function(vardel_tests)
  cmake_parse_arguments(A "" "NAME;TIMEOUT" "DEPS;LABELS;SOURCES" ${ARGN})
  if(NOT A_SOURCES)
    message(FATAL_ERROR "vardel_tests(${A_NAME}): no SOURCES")
  endif()
  add_executable(${A_NAME} ${A_SOURCES})
  target_include_directories(${A_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${A_NAME} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${A_NAME} COMMAND ${A_NAME} --gtest_brief=1)
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${A_NAME} PROPERTIES TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "VARDEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(A_LABELS)
    set_tests_properties(${A_NAME} PROPERTIES LABELS "${A_LABELS}")
  endif()
endfunction()
