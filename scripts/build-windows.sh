#!/usr/bin/env bash
# build-windows.sh [BUILD_DIR]: the Windows program, cross-built on Debian 12
# with Debian's MinGW-w64 (default folder build-windows/). Installs what is
# missing, builds the codec libraries from Debian's sources into
# BUILD_DIR/deps/ (reused when present), the icon with a native build tool in
# BUILD_DIR/native-tools/, then pictomill.exe (the window program),
# pictomill-convert.exe and the test programs, linked statically, and checks
# that they need no DLL but the system's, and packages the programs into
# dist/ (installer and zip).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-windows}
case $build in /*) ;; *) build=$root/$build ;; esac
mkdir -p "$build"

PICTOMILL_WINDOWS=1 bash "$root/scripts/install-deps.sh"
bash "$root/scripts/windows-deps.sh" "$build"

# The programs' icon is drawn by a tool of this machine (the cross build
# cannot run the Windows one): pictomill-icon-files built natively, with the
# project's floating-point flags, whenever its sources are newer.
tools=$build/native-tools
icon_tool=$tools/pictomill-icon-files
icon_sources=("$root/desktop/IconFiles.cpp" "$root/app/Icon.cpp" "$root/app/Icon.h")
mkdir -p "$tools"
if [ ! -x "$icon_tool" ] || [ -n "$(find "${icon_sources[@]}" -newer "$icon_tool")" ]; then
  echo "build-windows: building the native pictomill-icon-files"
  g++ -std=c++20 -O2 -ffp-contract=off -fno-fast-math -Wall -Wextra -Werror -I"$root" \
    "$root/desktop/IconFiles.cpp" "$root/app/Icon.cpp" -lpng -o "$icon_tool"
fi
"$icon_tool" ico "$tools/pictomill.ico"

export PICTOMILL_WINDOWS_DEPS=$build/deps
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPICTOMILL_WERROR=ON -DPICTOMILL_GUI=OFF -DPICTOMILL_BENCH=OFF -DPICTOMILL_TESTS=ON \
  -DPICTOMILL_WINDOWS_ICON="$tools/pictomill.ico" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh"
cmake --build "$build" -j "$(nproc)"
bash "$root/scripts/windows-dll-check.sh" "$build"
echo "build-windows: $build/pictomill.exe, $build/pictomill-convert.exe and the test programs under $build/tests/"
bash "$root/scripts/package-windows.sh" "$build" "$root/dist"
