add_test(NAME static.dll_checks
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/check_dll.py $<TARGET_FILE:kuvana_coinst>)
# The setup program imports KnownDLLs only (tests/static/check_setup.py).
add_test(NAME static.setup_checks
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/check_setup.py $<TARGET_FILE:kuvana_setup>)
# The rooms' include arrows point one way (tests/static/check_rooms.py).
add_test(NAME static.room_includes COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/check_rooms.py)
