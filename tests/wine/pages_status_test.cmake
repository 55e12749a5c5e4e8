# Needs the simulated setupapi.dll (sim/setupapi), built only where Wine is installed.
if(TARGET kuvana_sim_setupapi)
kuvana_wine_server_test(pages_status_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/pages_status_test.cpp
  DEPENDS wizard_host kuvana_sim_setupapi fake_installer TIMEOUT 120)
set_tests_properties(wine.pages_status_test PROPERTIES FIXTURES_REQUIRED "wine;wizard_sim"
  RESOURCE_LOCK "readers;kuvana_hklm_settings" FIXTURES_SETUP wizard_screenshots)
endif()
