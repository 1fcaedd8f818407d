#!/usr/bin/env bash
# package.sh: builds dist/pictomill_<version>_amd64.deb with Debian's own tools.
# A Release build with Debian's build flags (all hardening) for /usr, in
# build-package, installed into a staging folder with stripped programs; the
# manual pages and the changelog gzipped; the dependencies from dpkg-shlibdeps plus what
# the programs load at run time without linking it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Given as options, not through the environment, so that a configured folder
# takes them too.
bash "$root/scripts/build.sh" build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DPICTOMILL_TESTS=OFF -DPICTOMILL_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
build="$root/build-package"

version=$("$build/pictomill-convert" --version | sed -n 's/^pictomill-convert //p')
changelog_version=$(sed -n '1s/^pictomill (\([^)]*\)).*/\1/p' "$root/packaging/debian/changelog")
if [ "$version" != "$changelog_version" ]; then
  echo "package: the program is $version but packaging/debian/changelog begins with $changelog_version" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)

stage=$(mktemp -d "${TMPDIR:-/tmp}/pictomill-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
tree="$stage/tree"
umask 022
DESTDIR="$tree" cmake --install "$build" >/dev/null
# As dh_strip does: no symbols, no compiler notes.
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$tree/usr/bin/"*
doc="$tree/usr/share/doc/pictomill"
install -d "$doc"
install -m 644 "$root/packaging/debian/copyright" "$doc/copyright"
# A native package: its one changelog is changelog.gz.
gzip -9n <"$root/packaging/debian/changelog" >"$doc/changelog.gz"
find "$tree/usr/share/man" -type f -name '*.[1-9]' -exec gzip -9n {} +
# Whatever the umask or the checkout did: folders and programs 755, the rest 644.
find "$tree" -type d -exec chmod 755 {} +
find "$tree" -type f -exec chmod 644 {} +
chmod 755 "$tree/usr/bin/"*

# dpkg-shlibdeps wants a source package around the files it looks at.
mkdir -p "$stage/debian"
printf 'Source: pictomill\n\nPackage: pictomill\nArchitecture: any\n' >"$stage/debian/control"
shlibs=$(cd "$stage" && dpkg-shlibdeps -O -e tree/usr/bin/pictomill -e tree/usr/bin/pictomill-convert 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
if [ -z "$shlibs" ]; then
  echo "package: dpkg-shlibdeps found no dependencies" >&2
  exit 1
fi

mkdir -p "$tree/DEBIAN"
(cd "$tree" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$tree/DEBIAN/md5sums"
chmod 644 "$tree/DEBIAN/md5sums"
installed_size=$(du -sk --apparent-size "$tree/usr" | cut -f1)
# Run-time needs that no link shows: the window's texts are drawn with the CJK
# font (the host asks for it by name); Qt's own dialog texts in Chinese are
# welcome but not needed.
cat >"$tree/DEBIAN/control" <<EOF
Package: pictomill
Version: $version
Architecture: $arch
Maintainer: The Pictomill developers <pictomill@pictomill.invalid>
Installed-Size: $installed_size
Depends: $shlibs, fonts-wqy-microhei
Recommends: qt6-translations-l10n
Section: graphics
Priority: optional
Description: image-format converter with a Chinese user interface
 Pictomill converts a picture (JPEG, BMP, TIFF, PNG, PCX or the base picture
 of a Photo CD image pac, recognised by its content) to JPG, BMP, TIF, PNG,
 PIC, PPM, PGM, PBM, PCX or SGI, one at a time or a whole folder between JPG,
 BMP and PNG with a progress bar. It appears in the applications menu and in
 "Open with" for pictures.
 .
 This package holds the window program pictomill, with a Chinese user
 interface, and the command-line tool pictomill-convert for scripts.
EOF
chmod 644 "$tree/DEBIAN/control"

mkdir -p "$root/dist"
deb="$root/dist/pictomill_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" >/dev/null
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
