# Sources of install/, the steps of a sequence (see the top-level CMakeLists.txt).
list(APPEND KUVANA_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/addresses.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_lines.cpp)
list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_install.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_address.cpp
  ${CMAKE_CURRENT_LIST_DIR}/download_step.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_installer.cpp)
