#!/usr/bin/env bash
# windows-deps.sh BUILD_DIR: the codec libraries for the Windows build, from
# Debian's source packages at the versions the Linux build links (read from the
# installed -dev packages), cross-built as static libraries into
# BUILD_DIR/deps/. Only the libraries themselves are built: no tools, tests,
# documentation or shared libraries. Reused while the versions match.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
deps=$build/deps
src=$build/deps-src
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

source_version() {
  local version
  version=$(dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null) || true
  if [ -z "$version" ]; then
    echo "windows-deps: $1 is not installed, so the version to build for Windows is unknown (run scripts/install-deps.sh)" >&2
    exit 1
  fi
  echo "$version"
}
source_package() { dpkg-query -W -f='${source:Package}' "$1"; }

# The -dev packages the Linux build links, and the two codecs of the Linux
# libtiff that the corpus needs (LZMA and WebP compressed TIFFs).
dev_packages=(libjpeg62-turbo-dev libpng-dev libtiff-dev liblzma-dev libwebp-dev)
wanted=()
for package in "${dev_packages[@]}"; do
  wanted+=("$(source_package "$package")=$(source_version "$package")")
done
stamp="${wanted[*]} googletest=$(dpkg-query -W -f='${Version}' googletest) $(x86_64-w64-mingw32-gcc-posix -dumpfullversion) $(sha256sum "$0" "$toolchain" | cut -c1-16 | tr '\n' ' ')"
if [ -f "$deps/.stamp" ] && [ "$(cat "$deps/.stamp")" = "$stamp" ]; then
  echo "windows-deps: reusing $deps"
  exit 0
fi

rm -rf "$deps" "$src"
mkdir -p "$deps/include" "$deps/lib" "$src"
bash "$root/scripts/windows-sources.sh" "$src" "${wanted[@]}"
tree() { find "$src" -maxdepth 1 -type d -name "$1-*" | head -n 1; }

common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$deps")
export PICTOMILL_WINDOWS_DEPS=$deps

configure() {  # configure NAME SOURCE [options...]
  local name=$1 source=$2
  shift 2
  cmake -S "$source" -B "$src/build-$name" "${common[@]}" "$@" >"$src/build-$name.log" 2>&1 ||
    { cat "$src/build-$name.log" >&2; echo "windows-deps: configuring $name failed" >&2; exit 1; }
}
compile() {  # compile NAME TARGET...
  local name=$1
  shift
  cmake --build "$src/build-$name" -j "$jobs" --target "$@" >>"$src/build-$name.log" 2>&1 ||
    { tail -n 40 "$src/build-$name.log" >&2; echo "windows-deps: building $name failed" >&2; exit 1; }
}

# libjpeg-turbo with its SIMD code (nasm), as Debian builds it for amd64.
jpeg=$(tree libjpeg-turbo)
configure jpeg "$jpeg" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON
compile jpeg jpeg-static
cp "$src/build-jpeg/libjpeg.a" "$deps/lib/"
cp "$src/build-jpeg/jconfig.h" "$jpeg/jpeglib.h" "$jpeg/jmorecfg.h" "$jpeg/jerror.h" "$deps/include/"

png=$(tree libpng1.6)
configure png "$png" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DZLIB_USE_STATIC_LIBS=ON
compile png png_static
cp "$src/build-png/libpng16.a" "$deps/lib/libpng16.a"
cp "$src/build-png/libpng16.a" "$deps/lib/libpng.a"
cp "$png/png.h" "$png/pngconf.h" "$src/build-png/pnglibconf.h" "$deps/include/"

lzma=$(tree xz-utils)
configure lzma "$lzma"
compile lzma liblzma
cp "$src/build-lzma/liblzma.a" "$deps/lib/"
cp -r "$lzma/src/liblzma/api/lzma.h" "$lzma/src/liblzma/api/lzma" "$deps/include/"

webp=$(tree libwebp)
webp_off=()
for tool in ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO LIBWEBPMUX WEBPMUX EXTRAS; do
  webp_off+=("-DWEBP_BUILD_$tool=OFF")
done
configure webp "$webp" "${webp_off[@]}"
compile webp webp
cp "$src/build-webp/libwebp.a" "$deps/lib/"
mkdir -p "$deps/include/webp"
cp "$webp/src/webp/"*.h "$deps/include/webp/"

# libtiff with the schemes the corpus uses: JPEG (old and new), deflate, LZMA, WebP.
tiff=$(tree tiff)
configure tiff "$tiff" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
  -Djpeg=ON -Dold-jpeg=ON -Djpeg12=OFF -Dzlib=ON -Dlzma=ON -Dwebp=ON \
  -Dzstd=OFF -Dlerc=OFF -Djbig=OFF -Dlibdeflate=OFF \
  -DCMAKE_C_FLAGS="-DLZMA_API_STATIC" \
  -DJPEG_LIBRARY="$deps/lib/libjpeg.a" -DJPEG_INCLUDE_DIR="$deps/include" \
  -DLIBLZMA_LIBRARY="$deps/lib/liblzma.a" -DLIBLZMA_INCLUDE_DIR="$deps/include" \
  -DWebP_LIBRARY="$deps/lib/libwebp.a" -DWebP_INCLUDE_DIR="$deps/include"
for scheme in "ZLIB" "JPEG" "Old JPEG" "LZMA2" "WEBP"; do
  grep -q "$scheme support: *Requested:ON Availability:TRUE Support:TRUE" "$src/build-tiff.log" ||
    { echo "windows-deps: libtiff would be built without $scheme support" >&2; exit 1; }
done
compile tiff tiff
cp "$src/build-tiff/libtiff/libtiff.a" "$deps/lib/"
cp "$tiff/libtiff/tiff.h" "$tiff/libtiff/tiffio.h" "$tiff/libtiff/tiffvers.h" \
  "$src/build-tiff/libtiff/tiffconf.h" "$deps/include/"

# GoogleTest from Debian's googletest package, which ships its sources.
configure gtest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
compile gtest gtest gtest_main
cmake --install "$src/build-gtest" >>"$src/build-gtest.log" 2>&1

cp "$src/FETCHED" "$deps/VERSIONS"
echo "googletest=$(dpkg-query -W -f='${Version}' googletest)" >>"$deps/VERSIONS"
echo "$stamp" >"$deps/.stamp"
echo "windows-deps: built $(tr '\n' ' ' <"$deps/VERSIONS")into $deps"
