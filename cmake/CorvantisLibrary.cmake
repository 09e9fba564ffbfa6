# One CMake library per source folder; the sources are picked up by glob so
# that adding a file never means editing a list.
set(CV_WARNINGS -Wall -Wextra -Wno-unused-parameter)

function(cv_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${CV_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# One test program per test folder: every *_test.cpp in it (and in the
# SUBFOLDERS named, for a library laid out in folders of its own), with our
# main (support/test_main.cpp; pass GUI for folders that make windows).
# Cases are listed at test time so that ctest runs them one by one in parallel.
function(cv_test_folder name)
  cmake_parse_arguments(ARG "GUI" "" "DEPS;SUBFOLDERS" ${ARGN})
  set(globs ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*_testutil.cpp)
  foreach(sub ${ARG_SUBFOLDERS})
    list(APPEND globs ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*_testutil.cpp)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${globs})
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs} ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
  if(ARG_GUI)
    target_compile_definitions(${name} PRIVATE CV_TEST_GUI)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  endif()
  target_compile_options(${name} PRIVATE ${CV_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} cv_testsupport GTest::gtest GTest::gmock)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CV_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    DISCOVERY_TIMEOUT 60)
endfunction()

# C plug-ins a test program loads at run time, one MODULE library per
# <plugin>.c in this folder, built before the test program, which finds them
# in the folder named by the compile definition <dir_define>. (C is one of
# the project's languages.)
function(cv_test_plugins test_target dir_define)
  foreach(plugin ${ARGN})
    add_library(cv_${plugin} MODULE ${plugin}.c)
    set_target_properties(cv_${plugin} PROPERTIES
      PREFIX "lib" OUTPUT_NAME ${plugin} C_VISIBILITY_PRESET hidden
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    if(TARGET ${test_target})
      add_dependencies(${test_target} cv_${plugin})
    endif()
  endforeach()
  if(TARGET ${test_target})
    target_compile_definitions(${test_target} PRIVATE ${dir_define}="${CMAKE_CURRENT_BINARY_DIR}")
  endif()
endfunction()

# Puts the crash-report data (options and compilation date, written by
# apps/eldata_writer) into a program's ELDATA section after each link
# (docs/eldata.md).
function(cv_add_crashbox_data target)
  if(NOT TARGET eldata_writer OR NOT CMAKE_OBJCOPY)
    return()
  endif()
  add_dependencies(${target} eldata_writer)
  set(data $<TARGET_FILE:${target}>.eldata)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND $<TARGET_FILE:eldata_writer> ${data} $<TARGET_FILE_NAME:${target}>
    COMMAND ${CMAKE_OBJCOPY} --remove-section ELDATA --add-section ELDATA=${data} $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
