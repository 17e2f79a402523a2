# One test executable per *_test.cpp file, so that Qt singletons and global
# state never leak from one group of cases into another.
#   lumivane_add_tests(DIR <folder> LIBS <targets...> [QT] [GROUP <name>])
# Tests are named <group>_<file>; the group is the folder's name unless given
# (the platform tests keep "platform" whatever subfolder holds them).
# Files ending in _xvfb_test.cpp need a real X server and run under xvfb-run.
#
# Every test process runs with a HOME and XDG config, data, cache and runtime
# folders of its own, made afresh under <build>/test-homes/<test> before it
# starts (cmake/fresh_test_home.sh), so that no test reads or changes the
# user's real files, and tests running side by side never share a runtime
# folder.
#
# LUMIVANE_TESTS=OFF leaves the tests out, so that the program builds without
# GoogleTest installed (tools/demo.sh).
option(LUMIVANE_TESTS "Build the tests" ON)
if(LUMIVANE_TESTS)
  find_package(GTest REQUIRED)
endif()

# A build folder inside the source tree never shows up in git status.
if(NOT EXISTS ${CMAKE_BINARY_DIR}/.gitignore)
  file(WRITE ${CMAKE_BINARY_DIR}/.gitignore "*\n")
endif()

set(LUMIVANE_TEST_HOME_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/fresh_test_home.sh)

# add_test for a test with its own folders (see above): the command runs
# through fresh_test_home.sh, which empties and makes them, and the test's
# ENVIRONMENT points HOME and the XDG variables there (add more variables with
# set_property(TEST ... APPEND PROPERTY ENVIRONMENT ...), not by replacing it).
#   lumivane_add_test(NAME <name> COMMAND <target or program> [args...])
function(lumivane_add_test)
  cmake_parse_arguments(A "" "NAME" "COMMAND" ${ARGN})
  list(POP_FRONT A_COMMAND _program)
  if(TARGET ${_program})
    set(_program $<TARGET_FILE:${_program}>)
  endif()
  add_test(NAME ${A_NAME} COMMAND sh ${LUMIVANE_TEST_HOME_SCRIPT} ${_program} ${A_COMMAND})
  set(_root ${CMAKE_BINARY_DIR}/test-homes/${A_NAME})
  set_property(TEST ${A_NAME} APPEND PROPERTY ENVIRONMENT
    LUMIVANE_TEST_HOME_ROOT=${_root}
    HOME=${_root}/home
    XDG_CONFIG_HOME=${_root}/config
    XDG_DATA_HOME=${_root}/data
    XDG_CACHE_HOME=${_root}/cache
    XDG_RUNTIME_DIR=${_root}/runtime)
endfunction()

function(lumivane_add_tests)
  cmake_parse_arguments(T "QT" "DIR;GROUP" "LIBS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${T_DIR}/*_test.cpp)
  get_filename_component(_group ${T_DIR} NAME)
  if(T_GROUP)
    set(_group ${T_GROUP})
  endif()
  foreach(_src ${_srcs})
    get_filename_component(_name ${_src} NAME_WE)
    set(_target ${_group}_${_name})
    add_executable(${_target} ${_src})
    target_link_libraries(${_target} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    if(T_QT)
      target_link_libraries(${_target} PRIVATE lumivane_qt_test_main)
    else()
      target_link_libraries(${_target} PRIVATE GTest::gtest_main)
    endif()
    target_include_directories(${_target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
    if(_name MATCHES "_xvfb_test$")
      lumivane_add_test(NAME ${_target}
                        COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:${_target}>)
      set_tests_properties(${_target} PROPERTIES LABELS "xvfb" TIMEOUT 300)
    else()
      lumivane_add_test(NAME ${_target} COMMAND ${_target})
      set_tests_properties(${_target} PROPERTIES TIMEOUT 300)
      if(T_QT)
        set_property(TEST ${_target} APPEND PROPERTY ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
      endif()
    endif()
  endforeach()
endfunction()

# One library per form folder, built from whatever sources the folder holds.
#   lumivane_form_library(<name> <folder> DEPS <targets...>)
function(lumivane_form_library name folder)
  cmake_parse_arguments(F "" "" "DEPS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/*.h)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_link_libraries(${name} PUBLIC ${F_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${F_DEPS})
  endif()
endfunction()
