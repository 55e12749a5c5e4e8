# The server's root is the build's bin folder: it serves fake_installer.exe as
# the net installer.
kuvana_wine_server_test(install_net_installer_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/install_net_installer_test.cpp
  ROOT ${CMAKE_BINARY_DIR}/bin
  TLS
  DEPENDS fake_installer signature_bench_installer
  TIMEOUT 180)
# Writes the "URL List" setting and the stored release serial.
set_tests_properties(wine.install_net_installer_test PROPERTIES RESOURCE_LOCK kuvana_hklm_settings)
