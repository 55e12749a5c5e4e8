# Sources of net/ (see the top-level CMakeLists.txt).
list(APPEND KUVANA_PURE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/download_logic.cpp)
# The download job: its state and owner calls, the preparation steps, the
# transfer thread and the stop path.
set(KUVANA_DOWNLOAD_JOB_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fault_guard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_download.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_download_prepare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_download_transfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_download_stop.cpp)
list(APPEND KUVANA_WIN_SOURCES ${KUVANA_DOWNLOAD_JOB_SOURCES})

# The download job catches processor faults as C++ exceptions (net/fault_guard.h):
# a fault must be able to leave any instruction of the job's own code.
if(MSVC)
  set_source_files_properties(
    ${CMAKE_CURRENT_LIST_DIR}/download_logic.cpp ${KUVANA_DOWNLOAD_JOB_SOURCES}
    PROPERTIES COMPILE_OPTIONS /EHa)
elseif(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set_source_files_properties(
    ${CMAKE_CURRENT_LIST_DIR}/download_logic.cpp ${KUVANA_DOWNLOAD_JOB_SOURCES}
    PROPERTIES COMPILE_OPTIONS -fnon-call-exceptions)
endif()
