# Shared settings for every target of the project.
add_library(tagloom_warnings INTERFACE)
target_compile_options(tagloom_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(TAGLOOM_WERROR)
  target_compile_options(tagloom_warnings INTERFACE -Werror)
endif()
if(TAGLOOM_TSAN)
  target_compile_options(tagloom_warnings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(tagloom_warnings INTERFACE -fsanitize=thread)
endif()
if(TAGLOOM_SANITIZE)
  target_compile_options(tagloom_warnings INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tagloom_warnings INTERFACE -fsanitize=address,undefined)
endif()

# Includes read "tag/clsID3.h", naming the layer they reach into. Each library's include root
# holds links to its own folder's headers and nothing else: a subfolder with a CMakeLists.txt of
# its own belongs to other libraries and stays out. A library sees the headers of what it links
# and nothing above or beside it, so such an include does not compile.
function(tagloom_include_root name folder)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${name})
  set(source ${PROJECT_SOURCE_DIR}/${folder})
  # Trees configured before linked the whole folder; drop that link, never what it points to.
  string(REGEX REPLACE "/.*" "" top ${folder})
  foreach(old ${root}/${top} ${root}/${folder})
    if(IS_SYMLINK ${old})
      file(REMOVE ${old})
    endif()
  endforeach()
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${source} ${source}/*.h ${source}/*.inc)
  file(GLOB_RECURSE others RELATIVE ${source} ${source}/*/CMakeLists.txt)
  foreach(other ${others})
    get_filename_component(other ${other} DIRECTORY)
    list(FILTER headers EXCLUDE REGEX "^${other}/")
  endforeach()
  foreach(header ${headers})
    set(link ${root}/${folder}/${header})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${link})
      file(CREATE_LINK ${source}/${header} ${link} SYMBOLIC COPY_ON_ERROR)
    endif()
  endforeach()
  target_include_directories(${name} PUBLIC ${root})
endfunction()

# tagloom_library(name [ROOT folder] SOURCES ... LIBS ...): a static library. ROOT is the source
# folder the library owns (default: the folder it is declared in).
function(tagloom_library name)
  cmake_parse_arguments(ARG "" "ROOT" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  if(NOT ARG_ROOT)
    file(RELATIVE_PATH ARG_ROOT ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  tagloom_include_root(${name} ${ARG_ROOT})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE tagloom_warnings)
endfunction()

# tagloom_test(name LABEL label SOURCES ... LIBS ... [GUI] [OWN_MAIN] [TIMEOUT s]): one GoogleTest
# executable per area; GUI gives it a main that makes the application object widgets need,
# OWN_MAIN leaves the main to the test's sources. Labels: unit (no
# display, no programs), gui, tools (runs the built programs), corpus (the peers' files).
function(tagloom_test name)
  cmake_parse_arguments(ARG "GUI;OWN_MAIN;THREADS" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  # The ThreadSanitizer tree builds only the tests that start threads (THREADS).
  if(TAGLOOM_TSAN AND NOT ARG_THREADS)
    return()
  endif()
  if(NOT ARG_LABEL)
    message(FATAL_ERROR "tagloom_test(${name}) needs a LABEL")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/TestEnvironment.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE TAGLOOM_TEST_BIN_DIR="${TAGLOOM_RUNTIME_DIR}"
    TAGLOOM_TEST_PEERS_DIR="${TAGLOOM_PEERS_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tagloom_warnings GTest::gtest)
  if(ARG_GUI AND NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE tagloom_gui_test_main)
  elseif(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(prefix "")
  if(TAGLOOM_SANITIZE)
    set(prefix "asan.")
    target_compile_definitions(${name} PRIVATE TAGLOOM_TEST_SANITIZED)
  elseif(TAGLOOM_TSAN)
    set(prefix "tsan.")
    target_compile_definitions(${name} PRIVATE TAGLOOM_TEST_SANITIZED)
  endif()
  gtest_discover_tests(${name} TEST_PREFIX "${prefix}"
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${ARG_LABEL}"
               TIMEOUT ${ARG_TIMEOUT}
    DISCOVERY_TIMEOUT 60)
endfunction()
