list(APPEND KUVANA_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/class_installer.cpp)
# Only the DLL has a library entry routine.
set(KUVANA_DLL_SOURCES ${CMAKE_CURRENT_LIST_DIR}/dllmain.cpp)
