#!/usr/bin/env bash
# Installs the Debian 12 packages Pictomill needs to build, run and test.
# Works as root (no sudo) and without a terminal.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  imagemagick netpbm libjpeg-turbo-progs libtiff-tools python3-pil
  xvfb xauth
  desktop-file-utils appstream man-db groff-base lintian dpkg-dev file
  clang libclang-rt-14-dev
)
# Only for benchmarks and memory checks by hand.
if [ "${PICTOMILL_DEV_TOOLS:-0}" = 1 ]; then
  packages+=(valgrind hyperfine graphicsmagick libvips-tools linux-perf)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
  exit 0
fi

sudo=()
if [ "$(id -u)" != 0 ]; then sudo=(sudo); fi
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
