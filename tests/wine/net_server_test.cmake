kuvana_wine_server_test(net_server_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/net_server_test.cpp TLS TIMEOUT 120)
# Its stored-serial case writes the machine's HKLM.
set_tests_properties(wine.net_server_test PROPERTIES RESOURCE_LOCK kuvana_hklm_settings)
