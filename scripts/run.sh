#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program's main job.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DPICTOMILL_TESTS=OFF -DPICTOMILL_BENCH=OFF
"$root/build/pictomill-convert" bmp "$root/samples/sample.bmp" "$root/build/sample.bmp"
echo "run: converted samples/sample.bmp to build/sample.bmp with build/pictomill-convert"
