# The vendor's release tools (tools/release-key, tools/release-sign) on a
# release folder of their own; needs python3 and openssl, no Wine.
add_test(NAME static.release_tools COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/release_tools_test.py)
set_tests_properties(static.release_tools PROPERTIES TIMEOUT 120)
