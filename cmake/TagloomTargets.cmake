# Shared settings for every target of the project.
add_library(tagloom_warnings INTERFACE)
target_compile_options(tagloom_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(TAGLOOM_SANITIZE)
  target_compile_options(tagloom_warnings INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tagloom_warnings INTERFACE -fsanitize=address,undefined)
endif()

# tagloom_library(name SOURCES ... LIBS ...): a static library rooted at the source tree,
# so includes read "tag/clsID3.h" and show the layer they reach into.
function(tagloom_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE tagloom_warnings)
endfunction()

# tagloom_test(name SOURCES ... LIBS ... [GUI]): one GoogleTest executable per area.
function(tagloom_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/TestEnvironment.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE TAGLOOM_TEST_BIN_DIR="${TAGLOOM_RUNTIME_DIR}"
    TAGLOOM_TEST_PEERS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus/peers")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tagloom_warnings GTest::gtest)
  if(NOT ARG_GUI)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(prefix "")
  if(TAGLOOM_SANITIZE)
    set(prefix "asan.")
  endif()
  gtest_discover_tests(${name} TEST_PREFIX "${prefix}"
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
