kuvana_wine_test(resources_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/resources_test.cpp)
# The same checks in a Japanese process: Wine takes the UI language from the locale.
add_test(NAME wine.resources_test.japanese COMMAND resources_test)
set_tests_properties(wine.resources_test.japanese PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8")
