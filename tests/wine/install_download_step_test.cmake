kuvana_wine_server_test(install_download_step_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/install_download_step_test.cpp
  TLS
  TIMEOUT 180)
