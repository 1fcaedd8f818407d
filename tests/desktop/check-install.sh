#!/usr/bin/env bash
# check-install.sh BUILD SOURCE: installs the build into a private DESTDIR and
# checks what lands there with the desktop's own validators (desktop-file-
# validate, appstreamcli, man) and ImageMagick. Exits 77 (skipped) when one
# of them is missing.
set -euo pipefail
build=$1
source=$2
for tool in desktop-file-validate appstreamcli man groff identify; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done
dest=$(mktemp -d "${TMPDIR:-/tmp}/pictomill-install.XXXXXX")
trap 'rm -rf "$dest"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
id=org.pictomill.Pictomill
version=$(sed -n 's/^project(Pictomill VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
date=$(sed -n 's/^set(PICTOMILL_RELEASE_DATE \(.*\))$/\1/p' "$source/CMakeLists.txt")

# Exactly these files, nothing else.
expected="usr/bin/pictomill
usr/bin/pictomill-convert
usr/share/applications/$id.desktop"
for size in 16 24 32 48 64 128 256; do expected+="
usr/share/icons/hicolor/${size}x${size}/apps/$id.png"; done
expected+="
usr/share/man/man1/pictomill-convert.1
usr/share/man/man1/pictomill.1
usr/share/metainfo/$id.metainfo.xml"
actual=$(cd "$dest" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] || fail "installed files differ:
$(diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") || true)"

# The installed tool runs and knows its version.
[ "$("$dest/usr/bin/pictomill-convert" --version)" = "pictomill-convert $version" ] || fail "--version"

# The menu entry: valid, its program and icon installed, a MIME type that
# shared-mime-info knows for every format the program reads.
entry="$dest/usr/share/applications/$id.desktop"
out=$(desktop-file-validate "$entry" 2>&1) || true
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx "Exec=pictomill %f" "$entry" || fail "Exec is not 'pictomill %f'"
grep -qx "Icon=$id" "$entry" || fail "Icon is not $id"
grep -qx "Name\[zh_CN\]=Pictomill 图片格式转换" "$entry" || fail "the Chinese name"
mime_db=/usr/share/mime/packages/freedesktop.org.xml
for type in image/jpeg image/bmp image/tiff image/png image/vnd.zbrush.pcx image/x-photo-cd; do
  grep -q "^MimeType=.*$type;" "$entry" || fail "MimeType lacks $type"
  if [ -f "$mime_db" ]; then grep -q "<mime-type type=\"$type\">" "$mime_db" || fail "shared-mime-info has no $type"; fi
done

# The icons: each one of its folder's size.
for size in 16 24 32 48 64 128 256; do
  got=$(identify -format '%m %wx%h' "$dest/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" 2>&1) || true
  [ "$got" = "PNG ${size}x${size}" ] || fail "icon $size: $got"
done

# AppStream: valid as installed, and valid with screenshots once they have an
# address (example.org stands for it here only).
metainfo="$dest/usr/share/metainfo/$id.metainfo.xml"
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
grep -q "<release version=\"$version\" date=\"$date\"" "$metainfo" || fail "metainfo release is not $version of $date"
grep -q '<summary xml:lang="zh-CN">' "$metainfo" || fail "no Chinese summary"
shots="$dest/shots/$id.metainfo.xml"
mkdir -p "$dest/shots"
cmake -DIN="$source/desktop/pictomill.metainfo.xml.in" -DOUT="$shots" -DPICTOMILL_DESKTOP_ID=$id \
  -DPROJECT_VERSION="$version" -DPICTOMILL_RELEASE_DATE="$date" \
  -DSCREENSHOT_URL=https://example.org/pictomill/screenshots -P "$source/desktop/metainfo.cmake"
[ "$(grep -c '<image>https://example.org/pictomill/screenshots/page[12].png</image>' "$shots")" = 2 ] ||
  fail "the screenshot block"
for page in page1.png page2.png; do [ -f "$source/docs/screenshots/$page" ] || fail "no docs/screenshots/$page"; done
out=$(appstreamcli validate --no-net "$shots" 2>&1) || fail "appstreamcli validate with screenshots: $out"

# The manual pages render, without a warning other than the terminal's want
# of CJK glyphs (groff 1.22 has none for its utf8 device; man shows them all
# the same).
for page in pictomill pictomill-convert; do
  file="$dest/usr/share/man/man1/$page.1"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null) || fail "man -l $page"
  grep -q "^NAME" <<<"$text" && grep -q "^       $page - " <<<"$text" || fail "$page(1) has no NAME line"
  grep -q "Pictomill $version  *$date" <<<"$text" || fail "$page(1) is not of version $version, $date"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null |
    grep -v -E "can't find special character 'u(3[0-9A-F]|[4-9][0-9A-F]|FF)[0-9A-F]{2}'" || true)
  [ -z "$warnings" ] || fail "$page(1) warnings: $warnings"
done
grep -q "“说明”" <<<"$(LC_ALL=C.UTF-8 man -l "$dest/usr/share/man/man1/pictomill.1" 2>/dev/null)" ||
  fail "pictomill(1) lost its Chinese texts"
# Every option of the usage is in the manual page.
for option in $("$dest/usr/bin/pictomill-convert" --help | grep -o -- '--[a-z0-9-]*' | sort -u); do
  LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$dest/usr/share/man/man1/pictomill-convert.1" 2>/dev/null |
    grep -q -- "$option" || fail "pictomill-convert(1) lacks $option"
done

changelog_version=$(sed -n '1s/^pictomill (\([^)]*\)).*/\1/p' "$source/packaging/debian/changelog")
[ "$changelog_version" = "$version" ] || fail "packaging/debian/changelog begins with $changelog_version, not $version"
changelog_date=$(date -u -d "$(sed -n 's/^ -- .*>  //p' "$source/packaging/debian/changelog" | head -n 1)" +%F)
[ "$changelog_date" = "$date" ] || fail "packaging/debian/changelog is of $changelog_date, not $date"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installed files: all checks passed"
