# Download throughput: the job against a bare WinINet loop (and curl, in the
# full run bench/download-bench). Linked with the download job's own sources
# only, so it builds whatever state the rest of the product is in.
add_executable(download_bench ${CMAKE_SOURCE_DIR}/bench/download_bench.cpp
  ${KUVANA_DOWNLOAD_JOB_SOURCES} ${CMAKE_SOURCE_DIR}/net/download_logic.cpp)
target_include_directories(download_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(download_bench PRIVATE ${KUVANA_DEFINES})
target_link_options(download_bench PRIVATE ${KUVANA_STATIC_LINK})
target_link_libraries(download_bench PRIVATE wininet)

# Smoke run: a 1 MiB file, one run each, a 1 s stall.
set(KUVANA_DOWNLOAD_BENCH_ROOT ${CMAKE_BINARY_DIR}/bench/download_root)
string(REPEAT "0123456789abcdef" 65536 kuvana_smoke_body)
file(WRITE ${KUVANA_DOWNLOAD_BENCH_ROOT}/smoke.bin "${kuvana_smoke_body}")
kuvana_server_launcher(download_bench_launcher ROOT ${KUVANA_DOWNLOAD_BENCH_ROOT})
add_test(NAME bench.download_smoke COMMAND ${download_bench_launcher} ${CMAKE_SOURCE_DIR}/bench/download-bench --smoke
  $<TARGET_FILE:download_bench>)
set_tests_properties(bench.download_smoke PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120 LABELS bench
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=120")
