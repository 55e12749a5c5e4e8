# The download-server simulator (sim/server): test certificates for its HTTPS
# ports and the CMake helpers that run a Wine test with the server beside it.
set(KUVANA_SERVER_DIR ${CMAKE_SOURCE_DIR}/sim/server)
set(KUVANA_SERVER_CERTS ${CMAKE_BINARY_DIR}/sim/server/certs)

add_custom_command(
  OUTPUT ${KUVANA_SERVER_CERTS}/ca.der ${KUVANA_SERVER_CERTS}/server.pem ${KUVANA_SERVER_CERTS}/other.pem
         ${KUVANA_SERVER_CERTS}/maker.pem ${KUVANA_SERVER_CERTS}/stranger.pem
         ${KUVANA_SERVER_CERTS}/outsider.pem ${KUVANA_SERVER_CERTS}/makertls.pem
         ${KUVANA_SERVER_CERTS}/lookalike.pem ${KUVANA_SERVER_CERTS}/nulname.pem
  COMMAND ${KUVANA_SERVER_DIR}/make-certs ${KUVANA_SERVER_CERTS}
  DEPENDS ${KUVANA_SERVER_DIR}/make-certs
  COMMENT "Making the test server's certificates")
add_custom_target(kuvana_server_certs ALL DEPENDS ${KUVANA_SERVER_CERTS}/ca.der)

# kuvana_server_launcher(<out-var> [ROOT dir] [TLS]): the command prefix that
# runs a command with the server started on free ports (other arguments are
# ignored, so the functions below pass theirs on whole).
function(kuvana_server_launcher out)
  cmake_parse_arguments(S "TLS" "ROOT" "" ${ARGN})
  # Every server signs its steering files as the maker, as a release does.
  set(cmd ${Python3_EXECUTABLE} ${KUVANA_SERVER_DIR}/with-server --sign ${KUVANA_SERVER_CERTS})
  if(S_ROOT)
    list(APPEND cmd --root ${S_ROOT})
  endif()
  if(S_TLS)
    list(APPEND cmd --tls ${KUVANA_SERVER_CERTS})
  endif()
  list(APPEND cmd --)
  set(${out} ${cmd} PARENT_SCOPE)
endfunction()

# kuvana_wine_server_test(name SOURCES... [ROOT dir] [TLS] [LIBS...] [ENV...]
#                         [DEPENDS...] [TIMEOUT s]):
# a Wine test (CTest wine.<name>) that runs with its own server.
function(kuvana_wine_server_test name)
  cmake_parse_arguments(S "TLS" "ROOT;TIMEOUT" "SOURCES;LIBS;ENV;DEPENDS" ${ARGN})
  kuvana_server_launcher(launcher ${ARGN})
  set(timeout_args)
  if(S_TIMEOUT)
    set(timeout_args TIMEOUT ${S_TIMEOUT})
  endif()
  kuvana_wine_test(${name} SOURCES ${S_SOURCES} LIBS crypt32 ${S_LIBS} ENV ${S_ENV}
    DEPENDS kuvana_server_certs ${S_DEPENDS} ${timeout_args} LAUNCHER ${launcher})
endfunction()

# kuvana_wine_server_add_test(test-name target [ROOT dir] [TLS] [ARGS...]
#                             [ENV...] [TIMEOUT s]):
# one more CTest entry running an existing Wine test program with its own
# server, e.g. with --gtest_filter=... so slow cases run in parallel.
function(kuvana_wine_server_add_test test target)
  cmake_parse_arguments(S "TLS" "ROOT;TIMEOUT" "ARGS;ENV" ${ARGN})
  kuvana_server_launcher(launcher ${ARGN})
  if(NOT S_TIMEOUT)
    set(S_TIMEOUT 240)
  endif()
  add_test(NAME ${test} COMMAND ${launcher} ${WINE_RUN} $<TARGET_FILE:${target}> ${S_ARGS})
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${S_TIMEOUT}
    ENVIRONMENT "KUVANA_WINEPREFIX=${KUVANA_WINEPREFIX};KUVANA_TIMEOUT=${S_TIMEOUT};${S_ENV}")
endfunction()

# The release mode (lists with release lines, signed with the release key) as
# a client sees it, checked with openssl; needs no Wine.
add_test(NAME sim.server_release
  COMMAND ${Python3_EXECUTABLE} ${KUVANA_SERVER_DIR}/with-server --sign ${KUVANA_SERVER_CERTS}
          -- ${Python3_EXECUTABLE} ${KUVANA_SERVER_DIR}/release_test.py ${KUVANA_SERVER_CERTS})
set_tests_properties(sim.server_release PROPERTIES TIMEOUT 120)
