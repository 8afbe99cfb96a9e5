# ctest entry: build the fuzz target with clang if needed, then run it for a
# bounded time on a copy of the seeds. Variables: SOURCE_DIR, BINARY_DIR,
# FUZZER (an already built target, optional), SECONDS.
if(NOT FUZZER)
  find_program(CLANGXX clang++ REQUIRED)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/standalone -B ${BINARY_DIR}/build -G Ninja
                          -DCMAKE_CXX_COMPILER=${CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
                  RESULT_VARIABLE rc OUTPUT_QUIET)
  if(rc)
    message(FATAL_ERROR "configuring the fuzz build failed")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR}/build RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "building the fuzz target failed")
  endif()
  set(FUZZER ${BINARY_DIR}/build/kolmar_extract_fuzzer)
endif()
file(REMOVE_RECURSE ${BINARY_DIR}/corpus)
file(COPY ${SOURCE_DIR}/seeds/ DESTINATION ${BINARY_DIR}/corpus)
execute_process(COMMAND ${FUZZER} -max_total_time=${SECONDS} -rss_limit_mb=1024 -max_len=4096
                        -dict=${SOURCE_DIR}/archive.dict
                        -artifact_prefix=${BINARY_DIR}/ ${BINARY_DIR}/corpus
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "the fuzz target found a fault; see the artifact in ${BINARY_DIR}")
endif()
