# The release keys the DLL trusts for signed URL lists: one or two SHA-256
# pins of their certificates' SubjectPublicKeyInfo (tools/release-key prints
# a key's pin). Two pins let a vendor move to a new key without a gap. The
# keys themselves are compiled in too, from their certificates (or public
# keys) in KUVANA_RELEASE_KEYS: a list is verified against them.
set(KUVANA_RELEASE_PINS "" CACHE STRING "One or two release-key pins (64 lowercase hex digits each, ';' between)")
set(KUVANA_RELEASE_KEYS "" CACHE STRING
  "Files or folders with the pinned release keys' certificates or public keys (PEM or DER, ';' between)")
# Only the presets the tests and the main job use set this: their throwaway
# keys live in sim/server/release-keys.
option(KUVANA_TEST_RELEASE_KEYS "Accept the tests' release-key pins (never in a vendor's build)" OFF)
set(KUVANA_TEST_PINS
  7655f83b8a7cb06e2b70ac6b83469f5c146229f915764a7a91244d5ee4c41b5a
  3cb6b357b459088ce36c430642461a0829ed97d1810fcc8597e6c3b547bf1585)

set(pins ${KUVANA_RELEASE_PINS})
string(REPLACE "," ";" pins "${pins}")
list(LENGTH pins count)
if(count EQUAL 0)
  message(FATAL_ERROR "KUVANA_RELEASE_PINS is not set: name the pins of your release keys "
    "(tools/release-key new DIR prints one), e.g. -DKUVANA_RELEASE_PINS=<pin>[;<next pin>]")
endif()
if(count GREATER 2)
  message(FATAL_ERROR "KUVANA_RELEASE_PINS names ${count} pins; the DLL takes one or two")
endif()
foreach(pin ${pins})
  if(NOT pin MATCHES "^[0-9a-f]+$" OR NOT pin MATCHES "^................................................................$")
    message(FATAL_ERROR "KUVANA_RELEASE_PINS: '${pin}' is not 64 lowercase hex digits")
  endif()
  if(pin IN_LIST KUVANA_TEST_PINS AND NOT KUVANA_TEST_RELEASE_KEYS)
    message(FATAL_ERROR "KUVANA_RELEASE_PINS names the tests' throwaway release key (${pin}), whose private "
      "key is in this repository: a vendor's build must name its own release keys' pins")
  endif()
endforeach()
string(REPLACE ";" "," KUVANA_RELEASE_PINS_TEXT "${pins}")
set_source_files_properties(${CMAKE_SOURCE_DIR}/trust/release_pins.cpp PROPERTIES
  COMPILE_DEFINITIONS "KUVANA_RELEASE_PINS=\"${KUVANA_RELEASE_PINS_TEXT}\"")

# The pinned keys' SubjectPublicKeyInfo, for the Windows build's signature check.
if(CMAKE_CROSSCOMPILING AND WIN32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(key_sources ${KUVANA_RELEASE_KEYS})
  if(NOT key_sources AND KUVANA_TEST_RELEASE_KEYS)
    set(key_sources ${CMAKE_SOURCE_DIR}/sim/server/release-keys)
  endif()
  set(keys_cpp ${CMAKE_BINARY_DIR}/generated/release_keys.cpp)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/release_keys.py ${keys_cpp}
                          ${KUVANA_RELEASE_PINS_TEXT} ${key_sources}
                  RESULT_VARIABLE keys_result ERROR_VARIABLE keys_error)
  if(NOT keys_result EQUAL 0)
    message(FATAL_ERROR "${keys_error}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/release_keys.py)
  list(APPEND KUVANA_WIN_SOURCES ${keys_cpp})
endif()
