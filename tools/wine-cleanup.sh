# Sourced by tools/main-job and tools/test-all: stops the Wine prefixes of the
# given build trees (their wineserver, services and winedevice processes) when
# the command ends, whether it passes, fails or is interrupted. The wineserver
# runs in a session of its own, so Ctrl-C never reaches it by itself.
stop_wine() {
  for tree in $KUVANA_CLEANUP_TREES; do
    [ -d "$tree/wineprefix" ] || continue
    KUVANA_WINEPREFIX="$PWD/$tree/wineprefix" tests/wine/prefix down || true
  done
}
stop_wine_on_exit() {
  KUVANA_CLEANUP_TREES="$*"
  trap 'stop_wine' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
}
