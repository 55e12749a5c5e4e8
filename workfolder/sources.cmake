# Sources of workfolder/, the private folder a sequence downloads into and starts from.
list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/temp_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_security.cpp
  ${CMAKE_CURRENT_LIST_DIR}/work_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_removal.cpp)
