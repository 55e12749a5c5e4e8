# The vendor's release tools (tools/release-key, tools/release-sign) on a
# release folder of their own; needs python3 and openssl, no Wine.
add_test(NAME static.release_tools COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/release_tools_test.py)
set_tests_properties(static.release_tools PROPERTIES TIMEOUT 120)

# The release check built with a vendor's own pins (a SoftHSM2 token's key and
# an encrypted key file), under Wine against the server simulator. The first
# run builds build/release-pinned from the sources; that compile takes both
# of CTest's slots, so timing-sensitive Wine tests do not run beside it.
kuvana_server_launcher(release_check_launcher)
add_test(NAME wine.release_check_pins
  COMMAND ${release_check_launcher} ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/wine/release_check_pins_test.py
          ${CMAKE_BINARY_DIR})
set_tests_properties(wine.release_check_pins PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900 PROCESSORS 2
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=120")
