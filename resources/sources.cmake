list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/module.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_resources.cpp)
