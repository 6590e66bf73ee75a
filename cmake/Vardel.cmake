# Helpers every module's CMakeLists.txt uses.
#
#   vardel_library(NAME vardel_core DEPS ...)   the folder's *.cpp as one static library
#   vardel_tests(NAME core_tests DEPS ... [LABELS threads] [TIMEOUT s])
#                                              the folder's tests/*.cpp as one gtest binary

function(vardel_library)
  cmake_parse_arguments(A "" "NAME" "DEPS;SOURCES" ${ARGN})
  if(NOT A_SOURCES)
    file(GLOB A_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_library(${A_NAME} STATIC ${A_SOURCES})
  target_include_directories(${A_NAME} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${A_NAME} PUBLIC ${A_DEPS})
endfunction()

function(vardel_tests)
  cmake_parse_arguments(A "" "NAME;TIMEOUT" "DEPS;LABELS;SOURCES" ${ARGN})
  if(NOT A_SOURCES)
    file(GLOB A_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  endif()
  if(NOT A_SOURCES)
    return()
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
