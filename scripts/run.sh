#!/usr/bin/env bash
# Installs what is missing, builds, converts the sample picture with the
# command-line tool and starts the window program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release -DPICTOMILL_TESTS=OFF -DPICTOMILL_BENCH=OFF
"$root/build/pictomill-convert" bmp "$root/samples/sample.bmp" "$root/build/sample.bmp"
echo "run: converted samples/sample.bmp to build/sample.bmp with build/pictomill-convert"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  echo "run: starting the window (build/pictomill); its \"退出\" button ends it"
  exec "$root/build/pictomill"
fi
echo "run: no display here, so the window was not started. To see it on a virtual screen:"
echo "  xvfb-run -a -s \"-screen 0 800x600x24\" $root/build/pictomill"
