kuvana_wine_test(install_package_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/install_package_test.cpp
  DEPENDS fake_installer kuvana_signed_files
  TIMEOUT 120)
