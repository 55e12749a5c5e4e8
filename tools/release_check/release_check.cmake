# release_check.exe: the release check a vendor runs against a server, built
# from the class installer's own sources so that its rules cannot drift.
add_executable(release_check ${CMAKE_SOURCE_DIR}/tools/release_check/release_check.cpp
  $<TARGET_OBJECTS:kuvana_objs>)
target_include_directories(release_check PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(release_check PRIVATE ${KUVANA_DEFINES})
target_link_options(release_check PRIVATE ${KUVANA_STATIC_LINK})
target_link_libraries(release_check PRIVATE ${KUVANA_SYSTEM_LIBS} comctl32)
# It says first which release keys it trusts, loudly when they are the tests'.
target_compile_definitions(release_check PRIVATE KUVANA_TRUSTS_TEST_KEYS=$<BOOL:${KUVANA_TRUSTS_TEST_KEYS}>)
