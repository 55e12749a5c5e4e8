# Needs the simulated setupapi.dll (sim/setupapi), built only where Wine is installed.
if(TARGET kuvana_sim_setupapi)
kuvana_wine_test(entry_class_installer_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/entry_class_installer_test.cpp
  DEPENDS wizard_host kuvana_sim_setupapi TIMEOUT 120)
# It writes the reader software's registration and the net installer's settings (and
# puts them back), and the install decision looks at the attached readers.
set_tests_properties(wine.entry_class_installer_test PROPERTIES FIXTURES_REQUIRED "wine;wizard_sim"
  RESOURCE_LOCK "readers;kuvana_hklm_settings")
endif()
