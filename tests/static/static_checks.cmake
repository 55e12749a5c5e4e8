add_test(NAME static.dll_checks
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/check_dll.py $<TARGET_FILE:kuvana_coinst>)
