# Detached signatures made at build time with the test release keys and
# certificates (tests/wine/make-signed-files), checked under Wine.
set(KUVANA_SIGNED_FILES ${CMAKE_BINARY_DIR}/test-data/signed)
set(KUVANA_RELEASE_KEYS ${CMAKE_SOURCE_DIR}/sim/server/release-keys)
add_custom_command(
  OUTPUT ${KUVANA_SIGNED_FILES}/release.p7
  COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/make-signed-files ${KUVANA_SERVER_CERTS} ${KUVANA_SIGNED_FILES}
          ${KUVANA_RELEASE_KEYS}
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/make-signed-files ${KUVANA_SERVER_CERTS}/maker.pem
          ${KUVANA_RELEASE_KEYS}/test-release.pem ${KUVANA_RELEASE_KEYS}/test-release-next.pem
  COMMENT "Signing the signature tests' files")
add_custom_target(kuvana_signed_files DEPENDS ${KUVANA_SIGNED_FILES}/release.p7)
add_dependencies(kuvana_signed_files kuvana_server_certs)
kuvana_wine_test(install_release_signature_test
  SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/install_release_signature_test.cpp
  DEPENDS kuvana_signed_files
  TIMEOUT 120)
# Writes the stored release serial.
set_tests_properties(wine.install_release_signature_test PROPERTIES RESOURCE_LOCK kuvana_hklm_settings)
