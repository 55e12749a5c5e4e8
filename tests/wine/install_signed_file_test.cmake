# Detached signatures made at build time with the test certificates
# (tests/wine/make-signed-files), checked under Wine with the test CA trusted.
set(KUVANA_SIGNED_FILES ${CMAKE_BINARY_DIR}/test-data/signed)
add_custom_command(
  OUTPUT ${KUVANA_SIGNED_FILES}/maker.p7
  COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/make-signed-files ${KUVANA_SERVER_CERTS} ${KUVANA_SIGNED_FILES}
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/make-signed-files ${KUVANA_SERVER_CERTS}/maker.pem
  COMMENT "Signing the signature tests' files")
add_custom_target(kuvana_signed_files DEPENDS ${KUVANA_SIGNED_FILES}/maker.p7)
add_dependencies(kuvana_signed_files kuvana_server_certs)
kuvana_wine_test(install_signed_file_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/install_signed_file_test.cpp
  DEPENDS kuvana_signed_files
  TIMEOUT 120)
