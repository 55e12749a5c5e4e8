# Cost of the signature check before every start: WinVerifyTrust with the
# publisher check on a signed 64 MiB installer against a plain BCrypt SHA-256
# pass over the same file (prints a table; fails only when the check refuses
# the maker's file).
set(KUVANA_BENCH_SIGNED ${CMAKE_BINARY_DIR}/bench/signed_64mib.exe)
kuvana_sign_command(sign_bench_installer maker ${CMAKE_BINARY_DIR}/bench/unsigned_64mib.exe ${KUVANA_BENCH_SIGNED})
add_custom_command(OUTPUT ${KUVANA_BENCH_SIGNED}
  # The fake installer with 64 MiB of data after its sections, which the
  # signature's hash covers like any installer's payload.
  COMMAND ${Python3_EXECUTABLE} -c "import sys; d=open(sys.argv[1],'rb').read(); n=64*1048576-len(d)-4096; open(sys.argv[2],'wb').write(d+bytes((i*131)&255 for i in range(256))*(n//256))" $<TARGET_FILE_DIR:fake_installer>/fake_unsigned.exe ${CMAKE_BINARY_DIR}/bench/unsigned_64mib.exe
  COMMAND ${CMAKE_COMMAND} -E remove -f ${KUVANA_BENCH_SIGNED}
  COMMAND ${sign_bench_installer}
  COMMAND ${CMAKE_COMMAND} -E remove -f ${CMAKE_BINARY_DIR}/bench/unsigned_64mib.exe
  DEPENDS fake_installer
  COMMENT "Signing a 64 MiB installer for the signature benchmark"
  VERBATIM)
add_custom_target(signature_bench_installer DEPENDS ${KUVANA_BENCH_SIGNED})
add_executable(signature_bench ${CMAKE_SOURCE_DIR}/bench/signature_bench.cpp $<TARGET_OBJECTS:kuvana_objs>)
target_link_libraries(signature_bench PRIVATE ${KUVANA_SYSTEM_LIBS})
target_include_directories(signature_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(signature_bench PRIVATE ${KUVANA_DEFINES})
target_link_options(signature_bench PRIVATE ${KUVANA_STATIC_LINK})
add_dependencies(signature_bench signature_bench_installer)
add_test(NAME bench.signature COMMAND signature_bench Z:${KUVANA_BENCH_SIGNED} 3)
set_tests_properties(bench.signature PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 240 LABELS bench
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=240")
