#!/usr/bin/env bash
# test-windows.sh [BUILD_DIR]: builds the Windows program (build-windows.sh)
# and runs its test programs under Debian's 64-bit Wine, in a private prefix
# under the build folder, as a Chinese Windows would (LANG=zh_CN.UTF-8). The
# prefix's Wine server is ended on every way out, and no Wine process keeps
# the caller's standard output or error open.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-windows}
case $build in /*) ;; *) build=$root/$build ;; esac

bash "$root/scripts/build-windows.sh" "$build"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wine" ] || wine=$(command -v wine64 || true)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
if [ -z "$wine" ] || [ -z "$wineserver" ]; then
  echo "test-windows: Wine (wine64 and wineserver) is not installed" >&2
  exit 1
fi
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEARCH=win64 LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# No Mono or Gecko installer dialogs in a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=" PICTOMILL_WINE=$wine
unset DISPLAY WAYLAND_DISPLAY

stop_wine() {
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
}
trap stop_wine EXIT
# The server is started here, persistent until -k, with its output away from
# ours: a server started by the first program would inherit our pipes and
# keep a caller such as `test.sh | cat` waiting.
"$wineserver" -p </dev/null >"$build/wineserver.log" 2>&1
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: making the Wine prefix $WINEPREFIX"
  "$wine" wineboot --init </dev/null >"$build/wineboot.log" 2>&1
  "$wineserver" -w
  "$wineserver" -p </dev/null >>"$build/wineserver.log" 2>&1
fi
echo "test-windows: the fault tests replace fopen through the dynamic linker and are built for Linux only"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" </dev/null
