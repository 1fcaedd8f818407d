#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGS...]: runs a Windows program of the build under
# Debian's 64-bit Wine, in the prefix test-windows.sh set up (WINEPREFIX).
set -euo pipefail
: "${WINEPREFIX:?wine-run: WINEPREFIX is not set (run through scripts/test-windows.sh)}"
exec "${PICTOMILL_WINE:-/usr/lib/wine/wine64}" "$@"
