# libFuzzer target for the release lines, built with clang when it is there.
# `ctest -R native.fuzz` runs it briefly from its seed; run bin/release_fuzz by
# hand (with -dict=tests/fuzz/release.dict) to fuzz longer.
find_program(KUVANA_CLANGXX clang++)
if(KUVANA_CLANGXX)
  set(_release_fuzz_bin ${CMAKE_BINARY_DIR}/release_fuzz)
  add_custom_command(
    OUTPUT ${_release_fuzz_bin}
    COMMAND ${KUVANA_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -I${CMAKE_SOURCE_DIR} -I${CMAKE_SOURCE_DIR}/tests
            ${CMAKE_SOURCE_DIR}/tests/fuzz/release_fuzz.cpp ${CMAKE_SOURCE_DIR}/trust/release.cpp
            ${CMAKE_SOURCE_DIR}/trust/url_list.cpp -o ${_release_fuzz_bin}
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/release_fuzz.cpp ${CMAKE_SOURCE_DIR}/tests/fuzz/release_check.h
            ${CMAKE_SOURCE_DIR}/trust/release.cpp ${CMAKE_SOURCE_DIR}/trust/release.h ${CMAKE_SOURCE_DIR}/trust/release_caps.h
            ${CMAKE_SOURCE_DIR}/trust/url_list.cpp ${CMAKE_SOURCE_DIR}/trust/url_list.h
    COMMENT "Building the release-lines fuzz target")
  add_custom_target(release_fuzz ALL DEPENDS ${_release_fuzz_bin})
  # A copy of the seeds: libFuzzer adds what it finds to its corpus folder.
  add_test(NAME native.fuzz.release
    COMMAND sh -c "rm -rf corpus && cp -r ${CMAKE_SOURCE_DIR}/tests/fuzz/release_seeds corpus && \
${_release_fuzz_bin} -runs=20000 -max_len=1024 -seed=1 -dict=${CMAKE_SOURCE_DIR}/tests/fuzz/release.dict corpus"
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/release_fuzz_run)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/release_fuzz_run)
  set_tests_properties(native.fuzz.release PROPERTIES TIMEOUT 120)
endif()
