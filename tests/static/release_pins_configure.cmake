# A vendor's configuration: no pins, the tests' pin, a malformed pin or three
# pins stop it with a message; one pin of its own configures.
set(_pins_src ${CMAKE_SOURCE_DIR})
set(_good 1111111111111111111111111111111111111111111111111111111111111111)
add_test(NAME static.release_pins_configure
  COMMAND sh -c "set -e; d=\"$(mktemp -d)\"; trap 'rm -rf \"$d\"' EXIT
    try() { want=\"$1\"; shift; if cmake -S ${_pins_src} -B \"$d/b\" \"$@\" >\"$d/log\" 2>&1; then got=ok; else got=refused; fi
            rm -rf \"$d/b\"; [ \"$got\" = \"$want\" ] || { echo \"$*: $got, expected $want\"; cat \"$d/log\"; exit 1; }
            grep -q 'KUVANA_RELEASE_PINS' \"$d/log\" || [ \"$want\" = ok ] || { echo \"$*: no message\"; exit 1; }; }
    try refused
    try refused -DKUVANA_RELEASE_PINS=7655f83b8a7cb06e2b70ac6b83469f5c146229f915764a7a91244d5ee4c41b5a
    try refused -DKUVANA_RELEASE_PINS=ABCD
    try refused '-DKUVANA_RELEASE_PINS=${_good};${_good};${_good}'
    try ok -DKUVANA_RELEASE_PINS=${_good}
    echo 'configure refuses missing, test, malformed and three pins'")
