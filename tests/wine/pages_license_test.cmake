# Needs the simulated setupapi.dll (sim/setupapi), built only where Wine is installed.
if(TARGET kuvana_sim_setupapi)
kuvana_wine_test(pages_license_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/pages_license_test.cpp
  DEPENDS wizard_host kuvana_sim_setupapi TIMEOUT 120)
set_tests_properties(wine.pages_license_test PROPERTIES FIXTURES_REQUIRED "wine;wizard_sim"
  RESOURCE_LOCK "readers;kuvana_hklm_settings" FIXTURES_SETUP wizard_screenshots)
# The system language picks the license, the UI language the texts; Wine takes
# the first from LC_CTYPE and the second from LC_MESSAGES.
foreach(variant "ja_system;ja_JP.UTF-8;en_US.UTF-8" "ja_ui;C.UTF-8;ja_JP.UTF-8" "ja;ja_JP.UTF-8;ja_JP.UTF-8")
  list(GET variant 0 suffix)
  list(GET variant 1 ctype)
  list(GET variant 2 messages)
  add_test(NAME wine.pages_license_test.${suffix} COMMAND pages_license_test
    --gtest_filter=*LicenseFollowsTheSystemLanguage*)
  set_tests_properties(wine.pages_license_test.${suffix} PROPERTIES FIXTURES_REQUIRED "wine;wizard_sim"
    RESOURCE_LOCK "readers;kuvana_hklm_settings" TIMEOUT 120 FIXTURES_SETUP wizard_screenshots
    ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};LANG=C.UTF-8;LC_CTYPE=${ctype};LC_MESSAGES=${messages}")
endforeach()
endif()
