# The fake package installer: a console program the install tests start in
# place of a real installer (see fake_installer.cpp for its knobs).
#
# Installers are started only when the maker signed them, so the build signs
# it with the test CA's maker certificate (sim/server/make-certs). Beside it:
#   fake_unsigned.exe   as linked, without a signature
#   fake_stranger.exe   signed by another publisher under the same CA
#   fake_lookalike.exe  signed as the maker's name with a fullwidth first letter
#   fake_nulname.exe    signed as the maker's name with a NUL and more after it
#   fake_tampered.exe   signed by the maker, then one byte of code changed
#   fake_kps.exe, fake_kl.exe, fake_pcsc_b.exe
#                       signed by the maker, each carrying its package's name
#                       (it records "package=KPS" ...), so their bytes differ
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
add_executable(fake_installer ${CMAKE_CURRENT_LIST_DIR}/fake_installer.cpp)
target_compile_definitions(fake_installer PRIVATE ${KUVANA_DEFINES})
target_link_options(fake_installer PRIVATE ${KUVANA_STATIC_LINK})
add_dependencies(fake_installer kuvana_server_certs)
set(KUVANA_SIGNING_CERTS ${CMAKE_BINARY_DIR}/sim/server/certs)
set(fake_bin $<TARGET_FILE_DIR:fake_installer>)
# kuvana_sign_command(<out-var> signer input output): osslsigncode's sign
# command with a fixed signing time, so rebuilds give the same bytes.
function(kuvana_sign_command out signer input output)
  set(${out} ${OSSLSIGNCODE} sign -certs ${KUVANA_SIGNING_CERTS}/${signer}.pem
    -key ${KUVANA_SIGNING_CERTS}/${signer}.key -h sha256 -n "Kuvana test installer"
    -time 1700000000 -in ${input} -out ${output} PARENT_SCOPE)
endfunction()
kuvana_sign_command(sign_maker maker ${fake_bin}/fake_unsigned.exe ${fake_bin}/fake_installer.exe)
kuvana_sign_command(sign_stranger stranger ${fake_bin}/fake_unsigned.exe ${fake_bin}/fake_stranger.exe)
kuvana_sign_command(sign_lookalike lookalike ${fake_bin}/fake_unsigned.exe ${fake_bin}/fake_lookalike.exe)
kuvana_sign_command(sign_nulname nulname ${fake_bin}/fake_unsigned.exe ${fake_bin}/fake_nulname.exe)
set(package_copies)
foreach(package KPS KL PCSC_B)
  string(TOLOWER ${package} lower)
  kuvana_sign_command(sign_package maker ${fake_bin}/fake_${lower}_unsigned.exe ${fake_bin}/fake_${lower}.exe)
  list(APPEND package_copies
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/package_copy.py ${fake_bin}/fake_unsigned.exe
            ${fake_bin}/fake_${lower}_unsigned.exe ${package}
    COMMAND ${CMAKE_COMMAND} -E remove -f ${fake_bin}/fake_${lower}.exe
    COMMAND ${sign_package}
    COMMAND ${CMAKE_COMMAND} -E remove -f ${fake_bin}/fake_${lower}_unsigned.exe)
endforeach()
add_custom_command(TARGET fake_installer POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:fake_installer> ${fake_bin}/fake_unsigned.exe
  COMMAND ${CMAKE_COMMAND} -E remove -f ${fake_bin}/fake_installer.exe ${fake_bin}/fake_stranger.exe
          ${fake_bin}/fake_lookalike.exe ${fake_bin}/fake_nulname.exe
  COMMAND ${sign_maker}
  COMMAND ${sign_stranger}
  COMMAND ${sign_lookalike}
  COMMAND ${sign_nulname}
  ${package_copies}
  COMMAND ${Python3_EXECUTABLE} -c "import sys; d=bytearray(open(sys.argv[1],'rb').read()); d[0x410]^=1; open(sys.argv[2],'wb').write(d)" ${fake_bin}/fake_installer.exe ${fake_bin}/fake_tampered.exe
  COMMENT "Signing the fake installer as the maker, as another publisher and as lookalikes"
  VERBATIM)
