# Shared helpers: one library target per subsystem folder, tests mirror the folders.

set(CORVINA_WARNINGS -Wall -Wextra -Wno-missing-field-initializers)

# corvina_library(NAME [DEPS ...]): every *.cpp of the calling folder (not sub-folders).
function(corvina_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    # A folder that holds only headers so far.
    add_library(${name} INTERFACE ${headers})
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${CORVINA_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# corvina_test(NAME [DEPS ...] [MEDIA]): every *.cpp of the calling folder, one CTest
# entry per test case. MEDIA makes the cases wait for the generated fixtures.
function(corvina_test name)
  cmake_parse_arguments(ARG "MEDIA" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return() # a suite without cases yet
  endif()
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${CORVINA_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} corvina_testsupport GTest::gtest_main GTest::gmock)
  set(props ENVIRONMENT "CORVINA_FIXTURES=${CORVINA_FIXTURE_DIR}" TIMEOUT 600)
  if(ARG_MEDIA)
    list(APPEND props FIXTURES_REQUIRED media)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
endfunction()
