# Windows build: kuvana_coinst.dll, the simulators, and the tests that run under Wine.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(KUVANA_DEFINES WINVER=0x0600 _WIN32_WINNT=0x0600 _WIN32_IE=0x0700 NOMINMAX)
set(KUVANA_SYSTEM_LIBS setupapi wininet version shlwapi user32 advapi32 kernel32 bcrypt wintrust crypt32)
# The runtime is linked in, so the DLL imports Windows system DLLs only.
set(KUVANA_STATIC_LINK -static -static-libgcc -static-libstdc++)

# ---- product objects (shared by the DLL and the Wine tests) -----------------
add_library(kuvana_objs OBJECT ${KUVANA_PURE_SOURCES} ${KUVANA_WIN_SOURCES})
target_include_directories(kuvana_objs PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(kuvana_objs PUBLIC ${KUVANA_DEFINES})
target_compile_options(kuvana_objs PRIVATE -Wall -Wextra -ffunction-sections -fdata-sections)

# ---- generated resource inputs (license texts in their code pages, icons) ---
set(KUVANA_GEN ${CMAKE_BINARY_DIR}/generated)
set(KUVANA_GEN_FILES
  ${KUVANA_GEN}/license_ja_cp932.txt ${KUVANA_GEN}/license_en_crlf.txt
  ${KUVANA_GEN}/icon121.ico ${KUVANA_GEN}/icon122.ico ${KUVANA_GEN}/icon125.ico)
add_custom_command(
  OUTPUT ${KUVANA_GEN_FILES}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/gen_resources.py
          ${CMAKE_SOURCE_DIR}/resources ${KUVANA_GEN}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/gen_resources.py
          ${CMAKE_SOURCE_DIR}/resources/license_ja.txt
          ${CMAKE_SOURCE_DIR}/resources/license_en.txt
  COMMENT "Generating license texts and icons")
add_custom_target(kuvana_generated DEPENDS ${KUVANA_GEN_FILES})

# The version resource's Comments name the release-key pins the DLL trusts;
# a DLL that trusts the tests' public keys says so, and the release check
# and the shipping steps refuse to package it.
set(KUVANA_TRUSTS_TEST_KEYS OFF)
foreach(pin IN LISTS KUVANA_TEST_PINS)
  string(FIND ",${KUVANA_RELEASE_PINS_TEXT}," ",${pin}," at)
  if(at GREATER -1)
    set(KUVANA_TRUSTS_TEST_KEYS ON)
  endif()
endforeach()
if(KUVANA_TRUSTS_TEST_KEYS)
  set(KUVANA_BUILD_COMMENTS "TEST BUILD, never ship: trusts the tests' public release keys; release-key pins ${KUVANA_RELEASE_PINS_TEXT}")
else()
  set(KUVANA_BUILD_COMMENTS "Release-key pins ${KUVANA_RELEASE_PINS_TEXT}")
endif()
file(CONFIGURE OUTPUT ${KUVANA_GEN}/build_comments.h
  CONTENT "#define KUVANA_BUILD_COMMENTS \"@KUVANA_BUILD_COMMENTS@\"\n" @ONLY)

# ---- the product DLL ---------------------------------------------------------
add_library(kuvana_coinst SHARED
  $<TARGET_OBJECTS:kuvana_objs>
  ${KUVANA_DLL_SOURCES}
  ${CMAKE_SOURCE_DIR}/resources/kuvana_coinst.rc
  ${CMAKE_SOURCE_DIR}/entry/kuvana_coinst.def)
add_dependencies(kuvana_coinst kuvana_generated)
set_target_properties(kuvana_coinst PROPERTIES PREFIX "" OUTPUT_NAME kuvana_coinst)
target_include_directories(kuvana_coinst PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources ${KUVANA_GEN})
target_compile_definitions(kuvana_coinst PRIVATE ${KUVANA_DEFINES})
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/kuvana_coinst.rc PROPERTIES
  OBJECT_DEPENDS "${KUVANA_GEN_FILES};${KUVANA_GEN}/build_comments.h;${CMAKE_SOURCE_DIR}/resources/kuvana_coinst.manifest;${CMAKE_SOURCE_DIR}/resources/strings.rc;${CMAKE_SOURCE_DIR}/resources/dialogs.rc")
target_link_options(kuvana_coinst PRIVATE ${KUVANA_STATIC_LINK} -Wl,--gc-sections -s)
target_link_libraries(kuvana_coinst PRIVATE ${KUVANA_SYSTEM_LIBS})

# ---- GoogleTest, cross-compiled from Debian's sources ------------------------
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# ---- Wine test environment ---------------------------------------------------
set(KUVANA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/wine-run)
add_test(NAME wine.prefix.up COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/prefix up)
add_test(NAME wine.prefix.down COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/prefix down)
set_tests_properties(wine.prefix.up PROPERTIES FIXTURES_SETUP wine TIMEOUT 180
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TRUSTED_CA=${CMAKE_BINARY_DIR}/sim/server/certs/ca.der")
set_tests_properties(wine.prefix.down PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60
  ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX}")

# Test-side support code (message-box driver, process helpers) shared by Wine tests.
file(GLOB KUVANA_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(kuvana_testsupport STATIC ${KUVANA_TEST_SUPPORT} ${CMAKE_SOURCE_DIR}/tests/support/empty.cpp)
target_include_directories(kuvana_testsupport PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(kuvana_testsupport PUBLIC ${KUVANA_DEFINES})
target_link_libraries(kuvana_testsupport PUBLIC gtest ${KUVANA_SYSTEM_LIBS} comctl32 gdi32)

# Every program that stands in for a device-installation host (the wizard host,
# the Wine tests, the benchmarks) declares Windows Vista to 11 as Windows' own
# hosts do, so that the class installer inside it sees 10.0 on Windows 10 and 11.
set(KUVANA_HOST_MANIFEST_RC ${CMAKE_SOURCE_DIR}/tests/support/windows_host.rc)
set_source_files_properties(${KUVANA_HOST_MANIFEST_RC} PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/windows_host.manifest)

# kuvana_wine_test(name SOURCES... [LIBS...]) : one Wine test executable = one CTest test.
# LAUNCHER cmd...: run the test as "cmd... wine-run program" (e.g. with a server beside it).
function(kuvana_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV;DEPENDS;LAUNCHER" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${KUVANA_HOST_MANIFEST_RC} $<TARGET_OBJECTS:kuvana_objs>)
  target_link_libraries(${name} PRIVATE kuvana_testsupport gtest_main ${T_LIBS} ${KUVANA_SYSTEM_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE ${KUVANA_DEFINES}
    KUVANA_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KUVANA_BINARY_DIR="${CMAKE_BINARY_DIR}")
  target_link_options(${name} PRIVATE ${KUVANA_STATIC_LINK})
  add_dependencies(${name} kuvana_coinst ${T_DEPENDS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 240)
  endif()
  if(T_LAUNCHER)
    add_test(NAME wine.${name} COMMAND ${T_LAUNCHER} ${WINE_RUN} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME wine.${name} COMMAND ${name})
  endif()
  set_tests_properties(wine.${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=${T_TIMEOUT};${T_ENV}")
endfunction()

# The driver package a vendor starts from.
include(${CMAKE_SOURCE_DIR}/package/package.cmake)
# The setup program that registers the class installer beside the declarative package.
include(${CMAKE_SOURCE_DIR}/setup/setup.cmake)

# The vendor's release check (tools/release-check runs it under Wine).
include(${CMAKE_SOURCE_DIR}/tools/release_check/release_check.cmake)

# Simulators and benchmarks add their own targets.
file(GLOB KUVANA_SIMS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*/sim.cmake)
foreach(f ${KUVANA_SIMS})
  include(${f})
endforeach()

# Each Wine test file tests/wine/X_test.cpp becomes wine.X_test, unless a
# tests/wine/X_test.cmake beside it declares the test itself.
file(GLOB WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
foreach(src ${WINE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/${name}.cmake)
    include(${CMAKE_SOURCE_DIR}/tests/wine/${name}.cmake)
  else()
    kuvana_wine_test(${name} SOURCES ${src})
  endif()
endforeach()

file(GLOB STATIC_CHECKS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/static/*.cmake)
foreach(f ${STATIC_CHECKS})
  include(${f})
endforeach()

file(GLOB KUVANA_BENCH CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cmake)
foreach(f ${KUVANA_BENCH})
  include(${f})
endforeach()
