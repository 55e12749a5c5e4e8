# The download job against its own loopback server. The cases that wait for
# WinINet's 30 s receive time-out, for a minute of trickle and for the minute's
# bound on trickling headers run as CTest entries of their own, in parallel.
kuvana_wine_server_test(net_download_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/net_download_test.cpp
  TLS TIMEOUT 120 ENV GTEST_FILTER=-*Slow*:*Trickle*)
kuvana_wine_server_add_test(wine.net_download_test.slow net_download_test TLS
  ARGS --gtest_filter=*SlowStop* TIMEOUT 120)
kuvana_wine_server_add_test(wine.net_download_test.slowheaders net_download_test TLS
  ARGS --gtest_filter=*SlowHeaders* TIMEOUT 180)
kuvana_wine_server_add_test(wine.net_download_test.trickle net_download_test TLS
  ARGS --gtest_filter=*Trickle* TIMEOUT 150)
