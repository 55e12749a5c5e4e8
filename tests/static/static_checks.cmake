add_test(NAME static.dll_checks
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/check_dll.py $<TARGET_FILE:kuvana_coinst>)
# The rooms' include arrows point one way (tests/static/check_rooms.py).
add_test(NAME static.room_includes COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/check_rooms.py)
