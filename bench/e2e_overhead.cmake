# Overhead of the whole install sequence against the bare downloads and
# installer runs (prints a table; fails only when the sequence does not end).
add_executable(e2e_overhead ${CMAKE_SOURCE_DIR}/bench/e2e_overhead.cpp ${CMAKE_SOURCE_DIR}/tests/wine/e2e_harness.cpp
  ${KUVANA_HOST_MANIFEST_RC} $<TARGET_OBJECTS:kuvana_objs>)
target_link_libraries(e2e_overhead PRIVATE kuvana_testsupport crypt32 comctl32 ${KUVANA_SYSTEM_LIBS})
target_include_directories(e2e_overhead PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(e2e_overhead PRIVATE ${KUVANA_DEFINES})
target_link_options(e2e_overhead PRIVATE ${KUVANA_STATIC_LINK})
add_dependencies(e2e_overhead kuvana_coinst fake_installer)
kuvana_server_launcher(e2e_overhead_launcher)
add_test(NAME bench.e2e_overhead COMMAND ${e2e_overhead_launcher} ${WINE_RUN} $<TARGET_FILE:e2e_overhead>)
set_tests_properties(bench.e2e_overhead PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 240 LABELS bench RESOURCE_LOCK kuvana_hklm_settings
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=240;LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8")
