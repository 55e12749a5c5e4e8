# libFuzzer target for the URL-list parser, built with clang when it is there.
# `ctest -R native.fuzz` runs it briefly; run bin/url_list_fuzz by hand to fuzz longer.
find_program(KUVANA_CLANGXX clang++)
if(KUVANA_CLANGXX)
  set(_fuzz_bin ${CMAKE_BINARY_DIR}/url_list_fuzz)
  add_custom_command(
    OUTPUT ${_fuzz_bin}
    COMMAND ${KUVANA_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined
            -I${CMAKE_SOURCE_DIR} -I${CMAKE_SOURCE_DIR}/tests
            ${CMAKE_SOURCE_DIR}/tests/fuzz/url_list_fuzz.cpp ${CMAKE_SOURCE_DIR}/trust/url_list.cpp
            -o ${_fuzz_bin}
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/url_list_fuzz.cpp ${CMAKE_SOURCE_DIR}/tests/fuzz/url_list_check.h
            ${CMAKE_SOURCE_DIR}/trust/url_list.cpp ${CMAKE_SOURCE_DIR}/trust/url_list.h
    COMMENT "Building the URL-list fuzz target")
  add_custom_target(url_list_fuzz ALL DEPENDS ${_fuzz_bin})
  add_test(NAME native.fuzz.url_list COMMAND ${_fuzz_bin} -runs=4000 -max_len=512 -seed=1)
  set_tests_properties(native.fuzz.url_list PROPERTIES TIMEOUT 120)
endif()
