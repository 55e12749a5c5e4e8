# The net installer's settings key is shared with the install-sequence tests.
kuvana_wine_test(install_settings_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/install_settings_test.cpp TIMEOUT 120)
set_tests_properties(wine.install_settings_test PROPERTIES RESOURCE_LOCK kuvana_hklm_settings)
# Again in a Japanese process (code page 932), where the older software's key
# name is Japanese text.
add_test(NAME wine.install_settings_test.japanese COMMAND install_settings_test)
set_tests_properties(wine.install_settings_test.japanese PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120
  RESOURCE_LOCK kuvana_hklm_settings
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=120;LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8")
