# Sources of common/, what every room shares (see the top-level CMakeLists.txt).
list(APPEND KUVANA_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/path_text.cpp)
list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/final_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wide_text.cpp)
