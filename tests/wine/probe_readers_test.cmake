# The reader probes against the simulated reader driver, in an English and a
# Japanese process (the model-name language follows the user language).
kuvana_wine_test(probe_readers_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/probe_readers_test.cpp
  DEPENDS zrvsim TIMEOUT 180)
set_tests_properties(wine.probe_readers_test PROPERTIES RESOURCE_LOCK readers)
add_test(NAME wine.probe_readers_test.japanese COMMAND probe_readers_test --gtest_filter=*ModelName*)
set_tests_properties(wine.probe_readers_test.japanese PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120
  RESOURCE_LOCK readers
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=120;LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8;KUVANA_EXPECT_JAPANESE=1")
add_test(NAME wine.probe_readers_test.chinese COMMAND probe_readers_test --gtest_filter=*ModelName*)
set_tests_properties(wine.probe_readers_test.chinese PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120
  RESOURCE_LOCK readers
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=120;LC_ALL=zh_CN.UTF-8;LANG=zh_CN.UTF-8;KUVANA_EXPECT_CHINESE=1")
