kuvana_wine_test(install_trust_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/install_trust_test.cpp
  DEPENDS fake_installer
  TIMEOUT 120)
