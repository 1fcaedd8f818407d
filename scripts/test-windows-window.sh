#!/usr/bin/env bash
# test-windows-window.sh [BUILD_DIR]: the Windows window's tests and its
# screenshots, under Debian's 64-bit Wine on a virtual screen (xvfb-run), as a
# Chinese Windows (LANG=zh_CN.UTF-8), in a private prefix of their own under
# the build folder (BUILD_DIR/wine-window): it runs every program inside one
# Wine desktop, and its screen scale is switched between the runs. Expects a
# build of build-windows.sh. Screenshots go to BUILD_DIR/screenshots (copy
# them to docs/screenshots when they change).
#   1. the window, end-to-end and dialog tests at 96 dpi (100 %);
#   2. the window tests at 144 dpi (150 %): the window 1.5 times as large;
#   3. the screenshots at both scales.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-windows}
case $build in /*) ;; *) build=$root/$build ;; esac

# Everything below runs on one virtual screen, Wine's server included.
if [ -z "${PICTOMILL_WINDOW_SCREEN:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "test-windows-window: xvfb-run is not installed" >&2; exit 1; }
  export PICTOMILL_WINDOW_SCREEN=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build"
fi

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wine" ] || wine=$(command -v wine64)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
export WINEPREFIX=$build/wine-window WINEDEBUG=-all WINEARCH=win64 LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY

stop_wine() {
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
}
trap stop_wine EXIT
trap 'exit 130' INT TERM HUP

# One scale per server run: Wine reads it when its first program starts.
start_at() {
  stop_wine
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p </dev/null >>"$build/wineserver-window.log" 2>&1
  "$wine" wineboot --init </dev/null >>"$build/wineboot-window.log" 2>&1
  # Every window inside one Wine desktop: Wine draws the frames itself and
  # activates boxes at once, with no window manager on the virtual screen.
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  "$wineserver" -p </dev/null >>"$build/wineserver-window.log" 2>&1
}

status=0
run() {
  echo "test-windows-window: $*"
  "$wine" "$@" </dev/null || status=1
}

start_at 96
run "$build/tests/win32_window_tests.exe"
run "$build/tests/win32_end_to_end_tests.exe"
# ctest ran them without a display, where they skip.
run "$build/tests/win32_shell_tests.exe"
mkdir -p "$build/screenshots"
(cd "$build/screenshots" && run "$build/tests/windows_screenshots.exe" .)

start_at 144
PICTOMILL_EXPECTED_DPI=144 run "$build/tests/win32_window_tests.exe"
(cd "$build/screenshots" && run "$build/tests/windows_screenshots.exe" . -150)

start_at 96
exit $status
