# The simulated setupapi.dll and the renamed copy of Wine's own that it
# forwards to, both in bin/wizard/ beside the programs that load them (the
# wizard host and the Wine tests of the pages and the entry point). Those
# programs get it through their own DllOverrides key; see docs/how-it-works.md.
set(KUVANA_WIZARD_DIR ${CMAKE_BINARY_DIR}/bin/wizard)
find_file(KUVANA_WINE_SETUPAPI setupapi.dll
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
        /usr/lib64/wine/x86_64-windows /usr/local/lib/wine/x86_64-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT KUVANA_WINE_SETUPAPI)
  # The DLL still builds; the wizard host and its tests need Wine.
  message(WARNING "Wine's 64-bit setupapi.dll not found: no simulated setupapi.dll, no wizard host")
  return()
endif()

set(KUVANA_SIM_SETUPAPI_DEF ${CMAKE_BINARY_DIR}/sim/setupapi/setupapi.def)
add_custom_command(
  OUTPUT ${KUVANA_SIM_SETUPAPI_DEF} ${KUVANA_WIZARD_DIR}/setupapi_wine.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KUVANA_WIZARD_DIR}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/make_def.py ${KUVANA_WINE_SETUPAPI}
          ${CMAKE_CURRENT_LIST_DIR}/implemented.txt ${KUVANA_SIM_SETUPAPI_DEF}
  COMMAND ${CMAKE_COMMAND} -E copy ${KUVANA_WINE_SETUPAPI} ${KUVANA_WIZARD_DIR}/setupapi_wine.dll
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_def.py ${CMAKE_CURRENT_LIST_DIR}/implemented.txt ${KUVANA_WINE_SETUPAPI}
  COMMENT "Export list of the simulated setupapi.dll")

add_library(kuvana_sim_setupapi SHARED ${CMAKE_CURRENT_LIST_DIR}/setupapi_sim.cpp ${KUVANA_SIM_SETUPAPI_DEF})
set_target_properties(kuvana_sim_setupapi PROPERTIES PREFIX "" OUTPUT_NAME setupapi
  RUNTIME_OUTPUT_DIRECTORY ${KUVANA_WIZARD_DIR}
  # Its import library must never stand in for the system's libsetupapi.
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/sim/setupapi/lib)
target_include_directories(kuvana_sim_setupapi PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(kuvana_sim_setupapi PRIVATE ${KUVANA_DEFINES})
target_compile_options(kuvana_sim_setupapi PRIVATE -Wall -Wextra)
target_link_options(kuvana_sim_setupapi PRIVATE ${KUVANA_STATIC_LINK})
