#!/usr/bin/env bash
# check-package.sh DEB SOURCE: the package's metadata and contents as dpkg-deb
# shows them, its files unpacked into a private folder, and lintian.
set -euo pipefail
deb=$1
source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/pictomill-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
id=org.pictomill.Pictomill
version=$(sed -n 's/^project(Pictomill VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
[ "$(basename "$deb")" = "pictomill_${version}_amd64.deb" ] || fail "named $(basename "$deb")"

# Metadata.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pictomill ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
depends=$(field Depends)
depended=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for package in libc6 libstdc++6 libjpeg62-turbo libpng16-16 libtiff6 libqt6core6 libqt6gui6 libqt6widgets6 \
  fonts-wqy-microhei; do
  grep -qxF "$package" <<<"$depended" || fail "Depends lacks $package: $depends"
done
grep -q "qt6-translations-l10n" <<<"$(field Recommends)" || fail "Recommends: $(field Recommends)"
[ "$(field Installed-Size)" -gt 0 ] 2>/dev/null || fail "Installed-Size: $(field Installed-Size)"

# Contents: exactly these files, owned by root, with these modes.
expected="-rwxr-xr-x ./usr/bin/pictomill
-rwxr-xr-x ./usr/bin/pictomill-convert
-rw-r--r-- ./usr/share/applications/$id.desktop
-rw-r--r-- ./usr/share/doc/pictomill/changelog.gz
-rw-r--r-- ./usr/share/doc/pictomill/copyright"
for size in 16 24 32 48 64 128 256; do expected+="
-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"; done
expected+="
-rw-r--r-- ./usr/share/man/man1/pictomill-convert.1.gz
-rw-r--r-- ./usr/share/man/man1/pictomill.1.gz
-rw-r--r-- ./usr/share/metainfo/$id.metainfo.xml"
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ { print $1, $6 }' <<<"$listing" | LC_ALL=C sort -k2)
[ "$files" = "$(LC_ALL=C sort -k2 <<<"$expected")" ] || fail "contents differ:
$(diff <(LC_ALL=C sort -k2 <<<"$expected") <(echo "$files") || true)"
awk '$2 != "root/root" { exit 1 }' <<<"$listing" || fail "a file not owned by root/root"
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { exit 1 }' <<<"$listing" || fail "a folder not 755"

# The files themselves.
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
(cd "$work/root" && md5sum --quiet -c "$work/control/md5sums") || fail "md5sums do not match"
for program in pictomill pictomill-convert; do
  description=$(file -b "$work/root/usr/bin/$program")
  grep -q "ELF 64-bit" <<<"$description" && grep -q ", stripped" <<<"$description" || fail "$program: $description"
  readelf -d "$work/root/usr/bin/$program" | grep -q "BIND_NOW" || fail "$program is not linked with -z now"
  if readelf -d "$work/root/usr/bin/$program" | grep -Eq "RPATH|RUNPATH"; then fail "$program has a run path"; fi
done
[ "$("$work/root/usr/bin/pictomill-convert" --version)" = "pictomill-convert $version" ] || fail "--version"
cmp -s <(gzip -dc "$work/root/usr/share/doc/pictomill/changelog.gz") "$source/packaging/debian/changelog" ||
  fail "changelog.gz is not packaging/debian/changelog"
cmp -s "$work/root/usr/share/doc/pictomill/copyright" "$source/packaging/debian/copyright" || fail "copyright"
for page in pictomill pictomill-convert; do
  cmp -s <(gzip -dc "$work/root/usr/share/man/man1/$page.1.gz") "$source/docs/man/$page.1" || fail "$page.1.gz"
  if command -v man >/dev/null; then
    LC_ALL=C.UTF-8 man -l "$work/root/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q "^NAME" ||
      fail "man -l $page.1.gz"
  fi
done
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$work/root/usr/share/applications/$id.desktop" 2>&1) || true
  [ -z "$out" ] || fail "desktop-file-validate: $out"
fi

# lintian: no error; warnings and notes are shown.
if command -v lintian >/dev/null; then
  status=0
  report=$(lintian --fail-on error --display-info "$deb" 2>&1) || status=$?
  report=$(grep -v "running with root privileges" <<<"$report" || true)
  [ "$status" -eq 0 ] || fail "lintian reports errors"
  echo "lintian: ${report:-nothing to report}"
else
  echo "SKIP: lintian is not installed"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed"
  exit 1
fi
echo "package $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, all checks passed"
echo "Depends: $depends"
