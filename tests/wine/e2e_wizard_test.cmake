# Whole reader installations through the wizard host, with simulated readers
# and the download-server simulator; English and Japanese system.
kuvana_wine_server_test(e2e_wizard_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/e2e_wizard_test.cpp
  DEPENDS fake_installer wizard_host zrvsim zrvsim_install
  TIMEOUT 300)
kuvana_wine_server_add_test(wine.e2e_wizard_test.japanese e2e_wizard_test
  ENV LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
  TIMEOUT 300)
# They install readers and change the machine's settings in the shared prefix.
set_tests_properties(wine.e2e_wizard_test wine.e2e_wizard_test.japanese PROPERTIES
  FIXTURES_REQUIRED "wine;wizard_sim" RESOURCE_LOCK "readers;kuvana_hklm_settings")
