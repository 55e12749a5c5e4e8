kuvana_wine_server_test(net_server_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/net_server_test.cpp TLS TIMEOUT 120)
