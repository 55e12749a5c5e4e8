# kuvana_setup.exe: registers the class installer as the readers' class
# co-installer and installs the declarative driver package. It ships beside
# the package with the class installer under its versioned name, which
# follows the DLL's FILEVERSION (1,0,... gives kuvana_coinst_0100.dll): the
# framework keeps a co-installer loaded, so a new version needs a new name.
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/kuvana_coinst.rc KUVANA_FILEVERSION_LINE REGEX "^ *FILEVERSION ")
string(REGEX MATCH "([0-9]+) *, *([0-9]+)" KUVANA_FILEVERSION_MATCH "${KUVANA_FILEVERSION_LINE}")
math(EXPR KUVANA_VERSION_MAJOR "${CMAKE_MATCH_1}" OUTPUT_FORMAT DECIMAL)
math(EXPR KUVANA_VERSION_MINOR "${CMAKE_MATCH_2}" OUTPUT_FORMAT DECIMAL)
foreach(part KUVANA_VERSION_MAJOR KUVANA_VERSION_MINOR)
  if(${part} LESS 10)
    set(${part} "0${${part}}")
  endif()
endforeach()
set(KUVANA_COINST_FILE kuvana_coinst_${KUVANA_VERSION_MAJOR}${KUVANA_VERSION_MINOR}.dll)

add_executable(kuvana_setup
  ${CMAKE_SOURCE_DIR}/setup/setup_main.cpp
  ${CMAKE_SOURCE_DIR}/setup/machine.cpp
  ${CMAKE_SOURCE_DIR}/setup/driver_package.cpp
  ${KUVANA_SETUP_PURE_SOURCES}
  ${CMAKE_SOURCE_DIR}/setup/kuvana_setup.rc)
target_include_directories(kuvana_setup PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(kuvana_setup PRIVATE ${KUVANA_DEFINES} KUVANA_COINST_FILE="${KUVANA_COINST_FILE}")
target_compile_options(kuvana_setup PRIVATE -Wall -Wextra)
target_link_options(kuvana_setup PRIVATE ${KUVANA_STATIC_LINK} -s)
target_link_libraries(kuvana_setup PRIVATE newdev setupapi advapi32)
set_source_files_properties(${CMAKE_SOURCE_DIR}/setup/kuvana_setup.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/setup/kuvana_setup.manifest)
# The versioned copy follows every build of the DLL, not only the program's.
add_custom_command(
  OUTPUT ${KUVANA_PACKAGE_DIR}/${KUVANA_COINST_FILE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kuvana_coinst> ${KUVANA_PACKAGE_DIR}/${KUVANA_COINST_FILE}
  DEPENDS kuvana_coinst
  COMMENT "The class installer as ${KUVANA_COINST_FILE}")
add_custom_target(kuvana_setup_dll ALL DEPENDS ${KUVANA_PACKAGE_DIR}/${KUVANA_COINST_FILE})
add_dependencies(kuvana_setup_dll kuvana_package)
add_dependencies(kuvana_setup kuvana_setup_dll)
add_custom_command(TARGET kuvana_setup POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kuvana_setup> ${KUVANA_PACKAGE_DIR}/kuvana_setup.exe)
