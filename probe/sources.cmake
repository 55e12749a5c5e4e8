# Sources of probe/ (see the top-level CMakeLists.txt).
list(APPEND KUVANA_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/versions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_rules.cpp)
list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/software_probes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bounded_request.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_interfaces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/readers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inventory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/decision.cpp)
