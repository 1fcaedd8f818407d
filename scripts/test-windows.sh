#!/usr/bin/env bash
# test-windows.sh [BUILD_DIR]: builds the Windows program (build-windows.sh)
# and runs its test programs under Debian's 64-bit Wine, in a private prefix
# under the build folder, as a Chinese Windows would (LANG=zh_CN.UTF-8). The
# prefix's Wine server is ended on every way out, and no Wine process keeps
# the caller's standard output or error open. Last, the installer round trip
# (check-windows-install.sh).
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
trap 'exit 130' INT TERM HUP
# The server is started here, persistent until -k, with its output away from
# ours: a server started by the first program would inherit our pipes and
# keep a caller such as `test.sh | cat` waiting. It needs the prefix folder.
[ -f "$WINEPREFIX/system.reg" ] || echo "test-windows: making the Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
"$wineserver" -p </dev/null >"$build/wineserver.log" 2>&1
# Wine's own background programs (services, explorer) start with the first
# Wine program and inherit its output: let that be this one, into a log.
"$wine" wineboot --init </dev/null >"$build/wineboot.log" 2>&1
echo "test-windows: the fault tests replace fopen through the dynamic linker and are built for Linux only"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" </dev/null
# The program itself over the whole corpus: the golden bytes from the .exe.
corpus=$root/../shared/corpus
if [ -f "$corpus/MANIFEST.tsv" ]; then
  python3 "$root/scripts/windows-tool-golden.py" "$build" "$corpus"
else
  echo "test-windows: the shared corpus is not beside the repository, so the tool's golden check is skipped"
fi
# The installer and the portable zip build-windows.sh left in dist/, as a user
# gets them: installed, used and uninstalled in this prefix.
bash "$root/scripts/check-windows-install.sh" "$build" "$root/dist"
# The window: its tests and screenshots on a virtual screen, in a prefix of
# their own (this prefix's server is ended first).
stop_wine
bash "$root/scripts/test-windows-window.sh" "$build"
