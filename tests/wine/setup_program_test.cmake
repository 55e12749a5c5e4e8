kuvana_wine_test(setup_program_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/setup_program_test.cpp DEPENDS kuvana_setup)
# It writes System32's class installer, the readers' class registration and
# the driver store, as the main job's scenarios do.
set_tests_properties(wine.setup_program_test PROPERTIES RESOURCE_LOCK "readers;kuvana_hklm_settings")
