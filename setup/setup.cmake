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

# The readers' setup class, from the package's source: the program registers
# that class and refuses an INF of any other.
set(KUVANA_SETUP_GEN ${CMAKE_BINARY_DIR}/generated/setup)
add_custom_command(
  OUTPUT ${KUVANA_SETUP_GEN}/reader_class.h
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KUVANA_SETUP_GEN}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/package/make_infs.py --class-header
          ${CMAKE_SOURCE_DIR}/package/kuvana_reader.inx ${KUVANA_SETUP_GEN}/reader_class.h
  DEPENDS ${CMAKE_SOURCE_DIR}/package/kuvana_reader.inx ${CMAKE_SOURCE_DIR}/package/make_infs.py
  COMMENT "The readers' setup class for the setup program")

# It runs elevated from a folder its user can write: it imports KnownDLLs
# only, and takes the other system DLLs' functions from the system folder
# itself (setup/system_libraries.cpp).
add_executable(kuvana_setup
  ${CMAKE_SOURCE_DIR}/setup/setup_main.cpp
  ${CMAKE_SOURCE_DIR}/setup/commands.cpp
  ${CMAKE_SOURCE_DIR}/setup/machine.cpp
  ${CMAKE_SOURCE_DIR}/setup/driver_package.cpp
  ${CMAKE_SOURCE_DIR}/setup/driver_install.cpp
  ${CMAKE_SOURCE_DIR}/setup/system_file.cpp
  ${CMAKE_SOURCE_DIR}/setup/system_libraries.cpp
  ${CMAKE_SOURCE_DIR}/setup/report.cpp
  # The class installer's own signature check, shared.
  ${CMAKE_SOURCE_DIR}/trust/maker_signature.cpp
  ${CMAKE_SOURCE_DIR}/trust/pe_certificates.cpp
  ${CMAKE_SOURCE_DIR}/trust/publisher.cpp
  ${KUVANA_SETUP_PURE_SOURCES}
  ${KUVANA_SETUP_GEN}/reader_class.h
  ${CMAKE_SOURCE_DIR}/setup/kuvana_setup.rc)
target_include_directories(kuvana_setup PRIVATE ${CMAKE_SOURCE_DIR} ${KUVANA_SETUP_GEN})
target_compile_definitions(kuvana_setup PRIVATE ${KUVANA_DEFINES} UNICODE _UNICODE KUVANA_COINST_FILE="${KUVANA_COINST_FILE}")
target_compile_options(kuvana_setup PRIVATE -Wall -Wextra)
target_link_options(kuvana_setup PRIVATE ${KUVANA_STATIC_LINK} -municode -s)
target_link_libraries(kuvana_setup PRIVATE setupapi advapi32)
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
