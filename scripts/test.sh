#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in the normal
# build, then the Debian package is built and checked, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, the concurrency tests under
# ThreadSanitizer, every fuzz harness for a short while (FUZZ_SECONDS, 30 by
# default), and then the Windows program: cross-built and its tests run under
# Wine (scripts/test-windows.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DPICTOMILL_TESTS=ON
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

bash "$root/scripts/package.sh"
version=$(sed -n 's/^project(Pictomill VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
bash "$root/tests/desktop/check-package.sh" "$root/dist/pictomill_${version}_$(dpkg --print-architecture).deb" "$root"

bash "$root/scripts/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug -DPICTOMILL_SANITIZE=ON -DPICTOMILL_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"

bash "$root/scripts/test-tsan.sh"

CC=clang CXX=clang++ bash "$root/scripts/build.sh" build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTOMILL_FUZZ=ON \
  -DPICTOMILL_GUI=OFF -DPICTOMILL_TESTS=OFF -DPICTOMILL_BENCH=OFF -DPICTOMILL_WERROR=OFF
bash "$root/fuzz/run.sh" "$root/build-fuzz" "${FUZZ_SECONDS:-30}"

bash "$root/scripts/test-windows.sh" build-windows
