# The download job against its own loopback server. The one case that waits for
# WinINet's 30 s receive time-out runs as a CTest entry of its own, in parallel.
kuvana_wine_server_test(net_download_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/net_download_test.cpp
  TLS TIMEOUT 120 ENV GTEST_FILTER=-*Slow*)
kuvana_wine_server_add_test(wine.net_download_test.slow net_download_test TLS
  ARGS --gtest_filter=*Slow* TIMEOUT 120)
