# libFuzzer target for the certificate-table reader, under ASan and UBSan
# (any UBSan finding aborts), built with clang when it is there, seeded with
# the win64 tree's signed test installers. `ctest -R native.fuzz` runs it
# briefly; tests/fuzz/run-pe-fuzz build/native/pe_certificates_fuzz
# build/win64/bin -runs=N fuzzes longer.
find_program(KUVANA_CLANGXX clang++)
if(KUVANA_CLANGXX)
  set(_pe_fuzz_bin ${CMAKE_BINARY_DIR}/pe_certificates_fuzz)
  add_custom_command(
    OUTPUT ${_pe_fuzz_bin}
    COMMAND ${KUVANA_CLANGXX} -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
            -I${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/fuzz/pe_certificates_fuzz.cpp
            ${CMAKE_SOURCE_DIR}/trust/pe_certificates.cpp -o ${_pe_fuzz_bin}
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/pe_certificates_fuzz.cpp ${CMAKE_SOURCE_DIR}/trust/pe_certificates.cpp
            ${CMAKE_SOURCE_DIR}/trust/pe_certificates.h
    COMMENT "Building the certificate-table fuzz target")
  add_custom_target(pe_certificates_fuzz ALL DEPENDS ${_pe_fuzz_bin})
  add_test(NAME native.fuzz.pe_certificates
           COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run-pe-fuzz ${_pe_fuzz_bin} ${CMAKE_BINARY_DIR}/../win64/bin
                   -runs=20000 -seed=1)
  set_tests_properties(native.fuzz.pe_certificates PROPERTIES TIMEOUT 120)
endif()
