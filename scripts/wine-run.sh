#!/usr/bin/env bash
# Runs one Windows program of the build under Debian's wine64: what ctest puts in front of each
# Windows test program (CMAKE_CROSSCOMPILING_EMULATOR). WINEPREFIX names the run's prefix, whose
# wineserver scripts/check-windows.sh starts and stops; Wine's own diagnostics stay off.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix of this run (scripts/check-windows.sh sets it)}"
export WINEDEBUG=${WINEDEBUG:--all}
exec /usr/lib/wine/wine64 "$@"
