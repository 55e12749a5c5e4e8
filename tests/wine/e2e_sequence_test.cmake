# The install sequence end to end in a wizard of the test's own, with the
# download-server simulator (also as the HTTP proxy, for the default list
# address) and the fake installer; English and Japanese system.
# The packages' installers are served from a folder of fake-installer copies
# (the small files are put through the control endpoint by each test).
set(E2E_SERVER_ROOT ${CMAKE_BINARY_DIR}/e2e-root)
set(E2E_INSTALLERS ${E2E_SERVER_ROOT}/kps/KpsSetup.exe ${E2E_SERVER_ROOT}/kl/KlSetup.exe
    ${E2E_SERVER_ROOT}/pcscb/PcscBSetup.exe)
add_custom_command(OUTPUT ${E2E_INSTALLERS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${E2E_SERVER_ROOT}/kps ${E2E_SERVER_ROOT}/kl ${E2E_SERVER_ROOT}/pcscb
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${E2E_SERVER_ROOT}/kps/KpsSetup.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${E2E_SERVER_ROOT}/kl/KlSetup.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${E2E_SERVER_ROOT}/pcscb/PcscBSetup.exe
  DEPENDS fake_installer
  COMMENT "Serving the fake installer as the packages' installers")
add_custom_target(e2e_server_root DEPENDS ${E2E_INSTALLERS})
kuvana_server_launcher(e2e_sequence_launcher ROOT ${E2E_SERVER_ROOT})
kuvana_wine_test(e2e_sequence_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/e2e_sequence_test.cpp ${CMAKE_SOURCE_DIR}/tests/wine/e2e_harness.cpp
  LIBS crypt32 comctl32
  DEPENDS kuvana_server_certs fake_installer e2e_server_root
  LAUNCHER ${e2e_sequence_launcher} ${CMAKE_SOURCE_DIR}/tests/wine/e2e_proxy_env
  TIMEOUT 240)
add_test(NAME wine.e2e_sequence_test.japanese
  COMMAND ${e2e_sequence_launcher} ${CMAKE_SOURCE_DIR}/tests/wine/e2e_proxy_env ${WINE_RUN}
          $<TARGET_FILE:e2e_sequence_test>)
set_tests_properties(wine.e2e_sequence_test.japanese PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 240
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=240;LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8")
# Both write the net installer's HKLM settings in the shared prefix.
set_tests_properties(wine.e2e_sequence_test wine.e2e_sequence_test.japanese PROPERTIES
  RESOURCE_LOCK kuvana_hklm_settings)
