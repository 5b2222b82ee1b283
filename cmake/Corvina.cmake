# Shared helpers: one library target per layer folder, tests mirror the folders.

set(CORVINA_WARNINGS -Wall -Wextra -Wno-missing-field-initializers)
option(CORVINA_WERROR "Treat compiler warnings as errors (CI)" OFF)
if(CORVINA_WERROR)
  list(APPEND CORVINA_WARNINGS -Werror)
  # The sanitizers' instrumentation makes GCC see uninitialised reads inside the standard
  # library's own inlined code (std::regex, std::function) that are not there; they stay
  # warnings in those builds.
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    list(APPEND CORVINA_WARNINGS -Wno-error=maybe-uninitialized)
  endif()
endif()

# The include root of one layer: a folder in the build tree that holds only a link to that
# layer's source folder, so "engine/X.h" resolves for a target only when it was given the
# engine layer. A target sees its own layer and the layers it links; nothing else.
function(corvina_layer_root name folder out)
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# corvina_library(NAME [PUBLIC deps...] [PRIVATE deps...] [EXCLUDE files...]): every *.cpp
# of the calling folder (not sub-folders) but the excluded ones. PUBLIC: layers whose
# headers this layer's own headers include; PRIVATE: layers only its sources use.
function(corvina_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE;EXCLUDE" ${ARGN})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  corvina_layer_root(${name} ${folder} root)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${root})
  target_compile_options(${name} PRIVATE ${CORVINA_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
endfunction()

# corvina_test(NAME [DEPS ...] [MEDIA] [THREADED filter]): every *.cpp of the calling
# folder, one CTest entry per test case. MEDIA makes the cases wait for the generated
# fixtures. THREADED names (as a gtest filter) the cases that exercise worker threads: they
# carry the label "threads", which the ThreadSanitizer pass runs.
function(corvina_test name)
  cmake_parse_arguments(ARG "MEDIA" "THREADED" "DEPS" ${ARGN})
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
  if(ARG_THREADED)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "${ARG_THREADED}"
                         PROPERTIES ${props} LABELS threads)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "-${ARG_THREADED}"
                         PROPERTIES ${props})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
  endif()
endfunction()
