# The install decisions over simulated readers on an English and a Japanese system.
kuvana_wine_test(probe_decision_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/probe_decision_test.cpp
  DEPENDS zrvsim TIMEOUT 180)
set_tests_properties(wine.probe_decision_test PROPERTIES RESOURCE_LOCK "readers;kuvana_hklm_settings")
add_test(NAME wine.probe_decision_test.japanese COMMAND probe_decision_test)
set_tests_properties(wine.probe_decision_test.japanese PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180
  RESOURCE_LOCK "readers;kuvana_hklm_settings"
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=180;LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8;KUVANA_EXPECT_JAPANESE=1")
