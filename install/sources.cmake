# Sources of install/ (see the top-level CMakeLists.txt).
list(APPEND KUVANA_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/addresses.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_certificates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release_pins.cpp
  ${CMAKE_CURRENT_LIST_DIR}/url_list.cpp)
list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_install.cpp
  ${CMAKE_CURRENT_LIST_DIR}/temp_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_security.cpp
  ${CMAKE_CURRENT_LIST_DIR}/work_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_removal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trusted_start.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release_signature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/verified_release.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_address.cpp
  ${CMAKE_CURRENT_LIST_DIR}/download_step.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_installer.cpp)
