# The fake package installer: a console program the install tests start in
# place of a real installer (see fake_installer.cpp for its knobs).
add_executable(fake_installer ${CMAKE_CURRENT_LIST_DIR}/fake_installer.cpp)
target_compile_definitions(fake_installer PRIVATE ${KUVANA_DEFINES})
target_link_options(fake_installer PRIVATE ${KUVANA_STATIC_LINK})
