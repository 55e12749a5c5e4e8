# The finish-install decisions against the bare device work they cause, with
# 1, 4 and 16 simulated readers (prints a table with the ratio).
add_executable(probe_bench ${CMAKE_SOURCE_DIR}/bench/probe_bench.cpp ${KUVANA_HOST_MANIFEST_RC} $<TARGET_OBJECTS:kuvana_objs>)
target_link_libraries(probe_bench PRIVATE kuvana_testsupport ${KUVANA_SYSTEM_LIBS})
target_include_directories(probe_bench PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(probe_bench PRIVATE ${KUVANA_DEFINES})
target_link_options(probe_bench PRIVATE ${KUVANA_STATIC_LINK})
add_dependencies(probe_bench zrvsim)
add_test(NAME bench.probe COMMAND probe_bench)
set_tests_properties(bench.probe PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 240 LABELS bench RESOURCE_LOCK "readers;kuvana_hklm_settings"
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=240;LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8")
