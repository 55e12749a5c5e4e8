# The library stays loaded under a running install sequence after the wizard
# and the framework's reference are gone. Lives in bin/wizard beside the
# simulated setupapi.dll, which gives it class-install pages.
kuvana_server_launcher(e2e_unload_launcher)
kuvana_wine_test(e2e_unload_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/e2e_unload_test.cpp
  LIBS crypt32 comctl32
  DEPENDS kuvana_sim_setupapi kuvana_server_certs fake_installer wizard_host
  LAUNCHER ${e2e_unload_launcher}
  TIMEOUT 120)
set_target_properties(e2e_unload_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KUVANA_WIZARD_DIR})
add_test(NAME wine.e2e_unload_test.overrides COMMAND wizard_host --register-overrides e2e_unload_test.exe)
set_tests_properties(wine.e2e_unload_test.overrides PROPERTIES FIXTURES_SETUP e2e_unload_sim
  FIXTURES_REQUIRED wine TIMEOUT 60 ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX}")
set_tests_properties(wine.e2e_unload_test PROPERTIES FIXTURES_REQUIRED "wine;e2e_unload_sim"
  RESOURCE_LOCK "readers;kuvana_hklm_settings")
