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
# The Windows program: Debian's MinGW-w64 cross compiler and its zlib, nasm for
# libjpeg-turbo's SIMD code, dpkg-dev to unpack Debian's source packages,
# GoogleTest's sources and 64-bit Wine to run the tests; NSIS for the
# installer (the virtual display for the installed window is above).
if [ "${PICTOMILL_WINDOWS:-0}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev nasm dpkg-dev googletest wine64 liblzma-dev libwebp-dev
    locales nsis)
  # The window tests: Wine on a virtual screen, its Chinese glyphs from WenQuanYi
  # Micro Hei, its own fonts (Marlett draws the caption buttons).
  packages+=(xvfb xauth fonts-wqy-microhei fonts-wine)
fi
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
sudo=()
if [ "$(id -u)" != 0 ]; then sudo=(sudo); fi
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
else
  echo "install-deps: installing ${missing[*]}"
  "${sudo[@]}" apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
# Wine takes its Windows locale and code pages from the Linux locale: the
# Windows tests run as a Chinese Windows, so zh_CN.UTF-8 must exist.
if [ "${PICTOMILL_WINDOWS:-0}" = 1 ] && ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "install-deps: making the locale zh_CN.UTF-8"
  "${sudo[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
