# The setup program's folder as the tests and the main job ship it (bin/setup/):
# the class installer under its versioned name, signed with the tests' maker
# certificate as the installers are. Beside it in bin/setup/refused/ what the
# program must refuse to copy: the DLL unsigned, signed by another publisher,
# and signed by the maker, then one byte of code changed.
set(KUVANA_SETUP_SIGNED ${CMAKE_BINARY_DIR}/bin/setup)
set(setup_refused ${KUVANA_SETUP_SIGNED}/refused)
kuvana_sign_command(sign_dll_maker maker $<TARGET_FILE:kuvana_coinst> ${KUVANA_SETUP_SIGNED}/${KUVANA_COINST_FILE})
kuvana_sign_command(sign_dll_stranger stranger $<TARGET_FILE:kuvana_coinst> ${setup_refused}/stranger.dll)
add_custom_command(
  OUTPUT ${KUVANA_SETUP_SIGNED}/${KUVANA_COINST_FILE} ${setup_refused}/stranger.dll ${setup_refused}/unsigned.dll
         ${setup_refused}/tampered.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${setup_refused}
  COMMAND ${CMAKE_COMMAND} -E remove -f ${KUVANA_SETUP_SIGNED}/${KUVANA_COINST_FILE} ${setup_refused}/stranger.dll
  COMMAND ${sign_dll_maker}
  COMMAND ${sign_dll_stranger}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kuvana_coinst> ${setup_refused}/unsigned.dll
  COMMAND ${Python3_EXECUTABLE} -c "import sys; d=bytearray(open(sys.argv[1],'rb').read()); d[0x410]^=1; open(sys.argv[2],'wb').write(d)" ${KUVANA_SETUP_SIGNED}/${KUVANA_COINST_FILE} ${setup_refused}/tampered.dll
  DEPENDS kuvana_coinst kuvana_server_certs
  COMMENT "The class installer signed as the maker for the setup program's folder, and what it must refuse"
  VERBATIM)
add_custom_target(kuvana_setup_signed ALL DEPENDS ${KUVANA_SETUP_SIGNED}/${KUVANA_COINST_FILE}
  ${setup_refused}/stranger.dll ${setup_refused}/unsigned.dll ${setup_refused}/tampered.dll)

# A DLL planted beside the program that leaves a mark when loaded.
add_library(planted_dll SHARED ${CMAKE_SOURCE_DIR}/tests/wine/planted_dll.c ${CMAKE_SOURCE_DIR}/tests/wine/planted_dll.def)
set_target_properties(planted_dll PROPERTIES PREFIX "")
target_link_options(planted_dll PRIVATE -static-libgcc -s)

kuvana_wine_test(setup_program_test SOURCES ${CMAKE_SOURCE_DIR}/tests/wine/setup_program_test.cpp
  DEPENDS kuvana_setup kuvana_setup_signed planted_dll zrvsim
  ENV KUVANA_DLLOVERRIDES=newdev,wintrust,crypt32=n,b)
# It writes System32's class installer, the readers' class registration and
# the driver store, as the main job's scenarios do.
set_tests_properties(wine.setup_program_test PROPERTIES RESOURCE_LOCK "readers;kuvana_hklm_settings")
