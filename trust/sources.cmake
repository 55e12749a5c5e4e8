# Sources of trust/, what may run and what steers it (see the top-level CMakeLists.txt).
list(APPEND KUVANA_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/environment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_certificates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/publisher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release_pins.cpp
  ${CMAKE_CURRENT_LIST_DIR}/url_list.cpp)
list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/program_start.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_environment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trusted_start.cpp
  ${CMAKE_CURRENT_LIST_DIR}/maker_signature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signature_calls_linked.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release_signature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/release_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/verified_release.cpp)
