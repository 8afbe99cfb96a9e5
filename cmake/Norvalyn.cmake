# Small helpers shared by the subsystem folders.

# nv_test(NAME SOURCES... LIBS... [LABELS...]): one GoogleTest executable
# registered with ctest. Label "gui" keeps a test out of the sanitizer run,
# label "e2e" marks tests that start the built programs.
function(nv_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    NV_BIN_DIR="${NV_BIN_DIR}"
    NV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    NV_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 600)
endfunction()

# A shared library that ships under a fixed file name (NorvalynDLL.so,
# Language/English.so): no "lib" prefix, nothing but the named exports visible.
function(nv_plugin name)
  cmake_parse_arguments(P "" "OUTPUT_NAME;OUTPUT_DIR" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  # Only the named exports leave the library, not the static helpers it carries.
  target_link_options(${name} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so"
    OUTPUT_NAME ${P_OUTPUT_NAME}
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(P_OUTPUT_DIR)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${P_OUTPUT_DIR})
  endif()
endfunction()
