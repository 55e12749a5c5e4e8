kuvana_wine_test(setup_program_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/setup_program_test.cpp DEPENDS kuvana_setup)
