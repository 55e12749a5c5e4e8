# Driver file and software registration probes (files and registry of the prefix).
# The manifest declares Windows 10, so that "win10" reports 10.0 to the program.
kuvana_wine_test(probe_software_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/probe_software_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/wine/probe_software_test.rc DEPENDS zrvsim TIMEOUT 180)
set_tests_properties(wine.probe_software_test PROPERTIES RESOURCE_LOCK "readers;kuvana_hklm_settings")
set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/wine/probe_software_test.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/probe_software_test.manifest)
