# The setup program's logic that needs no Windows (also unit-tested natively).
set(KUVANA_SETUP_PURE_SOURCES ${CMAKE_SOURCE_DIR}/setup/coinstaller_list.cpp)
