#!/usr/bin/env bash
# package-windows.sh BUILD_DIR [DIST_DIR]: the Windows build's programs as
# DIST_DIR/Pictomill-<version>-setup.exe (makensis, packaging/windows/pictomill.nsi)
# and DIST_DIR/Pictomill-<version>-windows-x64.zip (a folder Pictomill/ to
# run from anywhere). DIST_DIR defaults to dist/ in the repository. The
# version is the build's CMake project version. Takes the programs the build
# has: pictomill-convert.exe always, pictomill.exe (the window) when built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: package-windows.sh BUILD_DIR [DIST_DIR]}
dist=${2:-$root/dist}
case $build in /*) ;; *) build=$PWD/$build ;; esac
case $dist in /*) ;; *) dist=$PWD/$dist ;; esac

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
if [ -z "$version" ] && [ -f "$build/generated/Version.h" ]; then
  version=$(sed -n 's/^#define PICTOMILL_VERSION "\(.*\)"$/\1/p' "$build/generated/Version.h")
fi
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "package-windows: no project version X.Y.Z in $build (CMakeCache.txt or generated/Version.h)" >&2
  exit 1
fi
if [ ! -f "$build/pictomill-convert.exe" ]; then
  echo "package-windows: $build/pictomill-convert.exe is missing: run scripts/build-windows.sh $build first" >&2
  exit 1
fi
makensis=$(command -v makensis || true)
if [ -z "$makensis" ]; then
  echo "package-windows: makensis is not installed (PICTOMILL_WINDOWS=1 bash scripts/install-deps.sh)" >&2
  exit 1
fi

stage=$build/package/Pictomill
rm -rf "$build/package"
mkdir -p "$stage" "$dist"
programs=(pictomill-convert.exe)
nsis_defines=()
if [ -f "$build/pictomill.exe" ]; then
  programs=(pictomill.exe "${programs[@]}")
  nsis_defines+=(-DWINDOW)
else
  echo "package-windows: $build/pictomill.exe is not built: packaging pictomill-convert.exe alone"
fi
# The time stamped into the copies and the zip: the commit's (or
# SOURCE_DATE_EPOCH), not the build's, so the same programs package the same.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}
# Without the static run-times' symbols and debug sections: a third smaller.
strip=$(command -v x86_64-w64-mingw32-strip || true)
for program in "${programs[@]}"; do
  if [ -n "$strip" ]; then
    SOURCE_DATE_EPOCH=$epoch "$strip" -o "$stage/$program" "$build/$program"
  else
    cp "$build/$program" "$stage/"
  fi
done
# Notepad on every Windows reads UTF-8 with a byte-order mark and CR LF.
{
  printf '\357\273\277'
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$root/packaging/windows/README.txt"
} >"$stage/README.txt"
icon=$(find "$build" -name pictomill.ico -not -path "$build/deps/*" -not -path "$build/package/*" -print -quit)
[ -n "$icon" ] && nsis_defines+=("-DICON=$icon")

setup=Pictomill-$version-setup.exe
zip=Pictomill-$version-windows-x64.zip
"$makensis" -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$stage" -DOUTFILE="$build/package/$setup" \
  "${nsis_defines[@]}" "$root/packaging/windows/pictomill.nsi"

# Fixed times, order and modes in the zip.
python3 - "$build/package" "$build/package/$zip" "$epoch" <<'PY'
import os, sys, time, zipfile
top, out, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
stamp = time.gmtime(max(epoch, 315532800))[:6]
with zipfile.ZipFile(out, "w") as archive:
    def add(name, data, attributes):
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 3  # Unix, so unzip reads the modes too
        info.external_attr = attributes
        info.compress_type = zipfile.ZIP_DEFLATED if data else zipfile.ZIP_STORED
        archive.writestr(info, data, compresslevel=9)
    add("Pictomill/", b"", 0o40755 << 16 | 0x10)  # 0x10: a folder, for Windows
    for name in sorted(os.listdir(os.path.join(top, "Pictomill"))):
        with open(os.path.join(top, "Pictomill", name), "rb") as f:
            mode = 0o100755 if name.endswith(".exe") else 0o100644
            add("Pictomill/" + name, f.read(), mode << 16)
PY
# Into place only when both are made: no half-written file in DIST_DIR.
mv -f "$build/package/$setup" "$build/package/$zip" "$dist/"
echo "package-windows: $dist/$setup ($(stat -c %s "$dist/$setup") bytes), $dist/$zip ($(stat -c %s "$dist/$zip") bytes)"
