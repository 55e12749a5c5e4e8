# Whole reader installations through the wizard host, with simulated readers
# and the download-server simulator; English and Japanese system.
# The installers are copies of the fake installer in the server's folder.
set(E2E_WIZARD_ROOT ${CMAKE_BINARY_DIR}/e2e-root-wizard)
set(E2E_WIZARD_INSTALLERS ${E2E_WIZARD_ROOT}/pkg/kps_setup.exe ${E2E_WIZARD_ROOT}/pkg/kl_setup.exe
    ${E2E_WIZARD_ROOT}/pkg/pcscb_setup.exe)
add_custom_command(OUTPUT ${E2E_WIZARD_INSTALLERS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${E2E_WIZARD_ROOT}/pkg
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${E2E_WIZARD_ROOT}/pkg/kps_setup.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${E2E_WIZARD_ROOT}/pkg/kl_setup.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${E2E_WIZARD_ROOT}/pkg/pcscb_setup.exe
  DEPENDS fake_installer
  COMMENT "Serving the fake installer as the packages' installers")
add_custom_target(e2e_wizard_root DEPENDS ${E2E_WIZARD_INSTALLERS})
kuvana_wine_server_test(e2e_wizard_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/e2e_wizard_test.cpp
  ROOT ${E2E_WIZARD_ROOT}
  DEPENDS fake_installer wizard_host zrvsim zrvsim_install e2e_wizard_root
  TIMEOUT 300)
kuvana_wine_server_add_test(wine.e2e_wizard_test.japanese e2e_wizard_test
  ROOT ${E2E_WIZARD_ROOT}
  ENV LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8
  TIMEOUT 300)
# They install readers and change the machine's settings in the shared prefix.
set_tests_properties(wine.e2e_wizard_test wine.e2e_wizard_test.japanese PROPERTIES
  FIXTURES_REQUIRED "wine;wizard_sim" RESOURCE_LOCK "readers;kuvana_hklm_settings")

# The main job's scenario runner itself, on nine scenarios (the second writes
# the older software's Japanese key name through a .reg file; the third offers
# an installer another publisher signed; the fourth changes a signed response
# file on the server; the fifth runs the release check on a good and a broken
# release; the sixth has the machine accept a release, then refuse an older
# one, and sets the stored serial back; the seventh and eighth run the setup
# program of the declarative route, after the reader's driver and as install
# then remove; the ninth has the next release key retire a leaked one).
foreach(scenario default older-software not-the-makers changed-response-file release-check rollback
    setup-after-driver setup-remove leaked-key)
  add_test(NAME e2e.main_job.${scenario}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/sim/scenarios/run-scenario --scenario ${scenario}
            --build ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e.main_job.${scenario} PROPERTIES FIXTURES_REQUIRED "wine;wizard_sim" TIMEOUT 180
    RESOURCE_LOCK "readers;kuvana_hklm_settings" DEPENDS wine.e2e_wizard_test.japanese)
endforeach()
