# The fuzz target's sources, shared by the in-tree clang build and the
# standalone one. NV_ROOT is the source tree.
set(NV_KOLMAR_FUZZ_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/extract_next_fuzzer.cpp
  ${NV_ROOT}/kolmar/archive/boot_code_archive.cpp
  ${NV_ROOT}/kolmar/archive/gz_file.cpp
  ${NV_ROOT}/platform/fatal.cpp
  ${NV_ROOT}/platform/paths.cpp
  ${NV_ROOT}/platform/env.cpp)

function(nv_kolmar_fuzzer target)
  add_executable(${target} ${NV_KOLMAR_FUZZ_SOURCES})
  target_include_directories(${target} PRIVATE ${NV_ROOT})
  target_compile_options(${target} PRIVATE -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${target} PRIVATE ZLIB::ZLIB)
  set_target_properties(${target} PROPERTIES CXX_STANDARD 20 CXX_STANDARD_REQUIRED ON)
endfunction()
