# Driver file and software registration probes (files and registry of the prefix).
kuvana_wine_test(probe_software_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/probe_software_test.cpp
  DEPENDS zrvsim TIMEOUT 180)
set_tests_properties(wine.probe_software_test PROPERTIES RESOURCE_LOCK "readers;kuvana_hklm_settings")
