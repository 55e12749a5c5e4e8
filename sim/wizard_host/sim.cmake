if(NOT TARGET kuvana_sim_setupapi)
  return()
endif()
# wizard_host.exe: the scriptable device-installation framework (README.md).
# It declares Windows Vista to 11 (tests/support/windows_host.manifest), so it
# reports the prefix's Windows 10 as 10.0. wizard_host_win7.exe,
# wizard_host_vista.exe and wizard_host_xp.exe are the same program; their own
# AppDefaults keys give them Windows 7, Vista and XP x64.
add_executable(wizard_host
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/framework.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_watch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host.rc
  ${KUVANA_HOST_MANIFEST_RC})
target_include_directories(wizard_host PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(wizard_host PRIVATE ${KUVANA_DEFINES} UNICODE _UNICODE)
target_compile_options(wizard_host PRIVATE -Wall -Wextra)
target_link_options(wizard_host PRIVATE ${KUVANA_STATIC_LINK} -municode)
# zlib for the page pictures (Debian's libz-mingw-w64-dev), linked statically:
# the host needs no zlib1.dll beside it.
find_library(KUVANA_MINGW_ZLIB NAMES libz.a REQUIRED)
find_path(KUVANA_MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
target_include_directories(wizard_host PRIVATE ${KUVANA_MINGW_ZLIB_INCLUDE})
target_link_libraries(wizard_host PRIVATE setupapi comctl32 gdi32 user32 advapi32 ${KUVANA_MINGW_ZLIB})
set_target_properties(wizard_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KUVANA_WIZARD_DIR})
add_dependencies(wizard_host kuvana_sim_setupapi kuvana_coinst)
# Simulated readers are installed through the host (--update-driver).
if(TARGET zrvsim)
  add_dependencies(zrvsim wizard_host)
endif()
add_custom_command(TARGET wizard_host POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:wizard_host> ${KUVANA_WIZARD_DIR}/wizard_host_win7.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:wizard_host> ${KUVANA_WIZARD_DIR}/wizard_host_vista.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:wizard_host> ${KUVANA_WIZARD_DIR}/wizard_host_xp.exe)

# Test programs that need the simulator live in bin/wizard and are listed here:
# their DllOverrides keys are written once per run, before the tests.
set(KUVANA_WIZARD_PROGRAMS wizard_host.exe wizard_host_win7.exe=win7 wizard_host_vista.exe=vista
    wizard_host_xp.exe=winxp64 wizard_setupapi_test.exe
    pages_framework_test.exe)
add_test(NAME wine.wizard.overrides COMMAND wizard_host --register-overrides ${KUVANA_WIZARD_PROGRAMS})
set_tests_properties(wine.wizard.overrides PROPERTIES FIXTURES_SETUP wizard_sim FIXTURES_REQUIRED wine
  TIMEOUT 60 ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX}")

# The page screenshots the Wine tests leave in test-artifacts/screenshots,
# checked with an independent PNG decoder once those tests have run.
set(KUVANA_SCREENSHOTS ${CMAKE_BINARY_DIR}/test-artifacts/screenshots)
add_test(NAME wizard.screenshots_png
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_png.py ${KUVANA_SCREENSHOTS}
          license-page-en.png license-page-ja-ui-ja.png license-question-en.png
          status-page-installed.png status-page-not-installed.png)
set_tests_properties(wizard.screenshots_png PROPERTIES FIXTURES_REQUIRED wizard_screenshots TIMEOUT 60)
# Screenshots of an earlier run must not pass for this one's.
add_test(NAME wizard.screenshots_clear COMMAND ${CMAKE_COMMAND} -E rm -rf ${KUVANA_SCREENSHOTS})
set_tests_properties(wizard.screenshots_clear PROPERTIES FIXTURES_SETUP wizard_sim)
