#!/usr/bin/env bash
# check-windows-install.sh BUILD_DIR [DIST_DIR]: the packaged program the way a
# user gets it, in the build's private Wine prefix as a Chinese Windows.
# DIST_DIR (default dist/) holds what scripts/package-windows.sh made from the
# build; PICTOMILL_CORPUS names the shared corpus (default ../shared/corpus).
# Two silent installs:
#  1. the files, the Start-menu shortcut and the uninstall entry; a corpus file
#     (or samples/sample.bmp without the corpus) converted by the installed
#     and by the unpacked portable pictomill-convert.exe; a silent uninstall
#     through the registered QuietUninstallString leaves no folder behind;
#  2. the installed window started under a virtual display, its notice read
#     and answered and the window closed (tests/install_probe.exe); pictures
#     in both converted-output folders survive the uninstall, every installed
#     file goes.
# scripts/test-windows.sh runs it last. The prefix's Wine server is restarted
# under Xvfb for the window, and left running headless as it was found.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
inner=0
if [ "${1:-}" = --under-display ]; then
  inner=1
  shift
fi
build=${1:?usage: check-windows-install.sh BUILD_DIR [DIST_DIR]}
dist=${2:-$root/dist}
case $build in /*) ;; *) build=$PWD/$build ;; esac
case $dist in /*) ;; *) dist=$PWD/$dist ;; esac

wine=${PICTOMILL_WINE:-/usr/lib/wine/wine64}
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
export WINEPREFIX=${WINEPREFIX:-$build/wine-prefix} WINEDEBUG=-all WINEARCH=win64 LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# No Mono or Gecko dialogs, and no Linux menu entries for the shortcut in $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" PICTOMILL_WINE=$wine
say() { echo "check-windows-install: $*"; }

if [ "$inner" = 0 ]; then
  if [ ! -x "$wine" ] || [ -z "$wineserver" ]; then
    say "Wine (wine64 and wineserver) is not installed" >&2
    exit 1
  fi
  # Wine's desktop belongs to the first programs of a server: for a window to
  # be seen, the server and wineboot must start with the display.
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  status=0
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --under-display "$build" "$dist" </dev/null || status=$?
  else
    say "xvfb-run is not installed: no display, so the window step will be skipped"
    (unset DISPLAY WAYLAND_DISPLAY; bash "$0" --under-display "$build" "$dist" </dev/null) || status=$?
  fi
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p </dev/null >>"$build/wineserver.log" 2>&1
  "$wine" wineboot --init </dev/null >>"$build/wineboot.log" 2>&1
  exit $status
fi

stop_wine() {
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
}
trap stop_wine EXIT
trap 'exit 130' INT TERM HUP
mkdir -p "$WINEPREFIX"
"$wineserver" -p </dev/null >>"$build/wineserver.log" 2>&1
"$wine" wineboot --init </dev/null >>"$build/wineboot.log" 2>&1

failures=0
fail() {
  echo "check-windows-install: FAILED: $*" >&2
  failures=$((failures + 1))
}
die() {
  echo "check-windows-install: FAILED: $*" >&2
  exit 1
}
windows_path() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
run_wine() { "$wine" "$@" </dev/null 2>>"$check/wine.log"; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
setup=$dist/Pictomill-$version-setup.exe
zip=$dist/Pictomill-$version-windows-x64.zip
for made in "$setup" "$zip"; do
  [ -f "$made" ] || die "$made is missing (scripts/package-windows.sh $build)"
  [ "$made" -nt "$build/pictomill-convert.exe" ] || die "$made is older than the build (scripts/package-windows.sh $build)"
done
check=$build/install-check
rm -rf "$check"
mkdir -p "$check"

# The portable folder from a folder named as a user's USB stick might be.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$check/U盘"
portable=$check/U盘/Pictomill
files=()
for name in pictomill.exe pictomill-convert.exe README.txt; do
  [ -f "$portable/$name" ] && files+=("$name")
done
listed=$(cd "$check/U盘" && find . -type f | sort | tr '\n' ' ')
expected=$(for name in "${files[@]}"; do echo "./Pictomill/$name"; done | sort | tr '\n' ' ')
[ "$listed" = "$expected" ] || fail "the zip holds $listed"
[ -f "$portable/pictomill-convert.exe" ] || die "the zip has no pictomill-convert.exe"
window=0
[ -f "$portable/pictomill.exe" ] && window=1
# The read-me opens in Notepad as UTF-8: a byte-order mark and CR LF.
if [ "$(head -c 3 "$portable/README.txt" | od -An -tx1 | tr -d ' ')" != efbbbf ] ||
  grep -q $'[^\r]$' <(tail -c +4 "$portable/README.txt"); then
  fail "README.txt is not UTF-8 with a byte-order mark and CR LF"
fi
grep -q "Pictomill 图片格式转换 $version" "$portable/README.txt" || fail "README.txt does not name version $version"

# Where a per-user install goes in this prefix.
windows_var() { run_wine cmd.exe /c "echo %$1%" | tr -d '\r\n'; }
local_windows=$(windows_var LOCALAPPDATA)
appdata_windows=$(windows_var APPDATA)
local_unix=$(run_wine winepath.exe -u "$local_windows" | tr -d '\r\n')
appdata_unix=$(run_wine winepath.exe -u "$appdata_windows" | tr -d '\r\n')
[ -d "$local_unix" ] && [ -d "$appdata_unix" ] || die "no %LOCALAPPDATA% ($local_unix) or %APPDATA% ($appdata_unix)"
install_dir=$local_unix/Programs/Pictomill
shortcut="$appdata_unix/Microsoft/Windows/Start Menu/Programs/Pictomill 图片格式转换.lnk"
user_data=$local_unix/Pictomill
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pictomill'
# What an earlier, failed run may have left.
run_wine reg.exe delete "$key" /f >/dev/null 2>&1 || true
rm -rf "$install_dir" "$user_data" "$shortcut"

install() {
  run_wine "$setup" /S || die "the silent install ended with exit code $?"
  [ -d "$install_dir" ] || die "the silent install made no $install_dir"
}

# Uninstalls with the command Windows' own settings would run silently. The
# uninstaller copies itself away and returns at once: this waits, bounded,
# for its last steps, the registry entry gone and (when the folder has nothing
# else) the folder gone.
uninstall() {
  local quiet command
  quiet=$(registry_value QuietUninstallString)
  [[ $quiet =~ ^\"(.*)\"\ /S$ ]] || die "QuietUninstallString is \"$quiet\", not \"PATH\" /S"
  command=${BASH_REMATCH[1]}
  run_wine "$command" /S || die "the silent uninstall ended with exit code $?"
  local deadline=$((SECONDS + 60))
  while run_wine reg.exe query "$key" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || die "the silent uninstall had not removed its registry entry after 60 s"
    sleep 0.5
  done
  # The folder goes last; what stays in it the caller reports.
  if [ "$1" = empty ]; then
    while [ -d "$install_dir" ] && [ $SECONDS -lt $deadline ]; do sleep 0.5; done
  fi
}

# The values of the uninstall entry, from reg.exe's UTF-16 export.
registry_value() {
  run_wine reg.exe export "$key" "$(windows_path "$check/uninstall.reg")" /y >/dev/null ||
    die "no uninstall entry $key"
  python3 - "$check/uninstall.reg" "$1" <<'PY'
import re, sys
text = open(sys.argv[1], "rb").read().decode("utf-16")
for line in text.splitlines():
    match = re.match(r'^"([^"]+)"=(?:"(.*)"|dword:([0-9a-f]{8}))$', line)
    if match and match.group(1) == sys.argv[2]:
        value = match.group(2)
        print(int(match.group(3), 16) if value is None else value.replace('\\"', '"').replace("\\\\", "\\"))
PY
}

check_installed() {
  local name found
  for name in "${files[@]}" uninstall.exe; do
    [ -f "$install_dir/$name" ] || fail "$name is not installed"
  done
  for name in "${files[@]}"; do
    cmp -s "$install_dir/$name" "$portable/$name" || fail "the installed $name differs from the zip's"
  done
  found=$(cd "$install_dir" && find . -mindepth 1 | sort | tr '\n' ' ')
  expected=$(for name in "${files[@]}" uninstall.exe; do echo "./$name"; done | sort | tr '\n' ' ')
  [ "$found" = "$expected" ] || fail "the install folder holds $found, not $expected"
  if [ "$window" = 1 ]; then
    if [ ! -f "$shortcut" ]; then
      fail "no Start-menu shortcut \"Pictomill 图片格式转换\""
    elif ! python3 - "$shortcut" <<'PY'; then
import sys
link = open(sys.argv[1], "rb").read()
# The target's path is kept in the code page, in UTF-16 or both.
name = "\\pictomill.exe"
sys.exit(0 if name.encode("ascii") in link.lower() or name.encode("utf-16-le") in link.lower() else 1)
PY
      fail "the Start-menu shortcut does not lead to pictomill.exe"
    fi
  else
    [ ! -e "$shortcut" ] || fail "a Start-menu shortcut without the window program"
  fi
  local install_windows=$local_windows'\Programs\Pictomill'
  [ "$(registry_value DisplayName)" = "Pictomill 图片格式转换" ] || fail "DisplayName is \"$(registry_value DisplayName)\""
  [ "$(registry_value DisplayVersion)" = "$version" ] || fail "DisplayVersion is \"$(registry_value DisplayVersion)\""
  [ "$(registry_value Publisher)" = Pictomill ] || fail "Publisher is \"$(registry_value Publisher)\""
  [ "$(registry_value InstallLocation)" = "$install_windows" ] ||
    fail "InstallLocation is \"$(registry_value InstallLocation)\", not \"$install_windows\""
  [ "$(registry_value UninstallString)" = "\"$install_windows\\uninstall.exe\"" ] ||
    fail "UninstallString is \"$(registry_value UninstallString)\""
  local icon
  icon=$(registry_value DisplayIcon)
  [[ $icon == "$install_windows"\\*.exe,0 ]] || fail "DisplayIcon is \"$icon\""
  # EstimatedSize is in KiB: the installed files' size, to within a few KiB.
  local size bytes
  size=$(registry_value EstimatedSize)
  bytes=$(cd "$install_dir" && cat "${files[@]}" | wc -c)
  [ -n "$size" ] && [ $((size * 1024 + 8192)) -ge "$bytes" ] && [ $((size * 1024)) -le $((bytes + 65536 * 4)) ] ||
    fail "EstimatedSize is ${size:-missing} KiB for $bytes bytes"
}

# A file of the corpus, or the repository's sample, into PNG. The installed
# and the portable tool must write the build's own bytes, and those must be
# right: the golden table's hash for a corpus file, the sample's pixels as
# Pillow reads them.
convert_with_installed() {
  local corpus=${PICTOMILL_CORPUS:-$root/../shared/corpus} source golden=""
  if [ -f "$corpus/MANIFEST.tsv" ]; then
    source=$corpus/jpeg/generated/kodim23_q85_420.jpg
    golden=$(awk -F'\t' '$1 == "jpeg/generated/kodim23_q85_420.jpg" && $2 == "png" { print $3 }' \
      "$root/tests/data/golden-outputs.tsv")
  else
    say "the shared corpus is not beside the repository: converting samples/sample.bmp instead"
    source=$root/samples/sample.bmp
  fi
  mkdir -p "$check/转换"
  local tool
  for tool in installed portable build; do
    local exe
    case $tool in
      installed) exe=$install_dir/pictomill-convert.exe ;;
      portable) exe=$portable/pictomill-convert.exe ;;
      build) exe=$build/pictomill-convert.exe ;;
    esac
    run_wine "$exe" png "$(windows_path "$source")" "$(windows_path "$check/转换/$tool.png")" >/dev/null ||
      fail "the $tool pictomill-convert.exe failed on $source"
  done
  [ -s "$check/转换/installed.png" ] || return 0
  cmp -s "$check/转换/installed.png" "$check/转换/build.png" || fail "the installed tool's PNG differs from the build's"
  cmp -s "$check/转换/portable.png" "$check/转换/build.png" || fail "the portable tool's PNG differs from the build's"
  if [ -n "$golden" ]; then
    [ "$(sha256sum <"$check/转换/installed.png" | cut -d' ' -f1)" = "$golden" ] ||
      fail "the installed tool's PNG of kodim23_q85_420.jpg is not the golden table's"
  elif pillow=$(for python in /usr/bin/python3 python3; do
    "$python" -c 'import PIL' 2>/dev/null && { echo "$python"; break; }
  done) && [ -n "$pillow" ]; then
    # Debian's own python3 carries Pillow; one earlier on PATH may not.
    "$pillow" - "$source" "$check/转换/installed.png" <<'PY' || fail "the installed tool's PNG has other pixels than the sample"
import sys
from PIL import Image
a, b = (Image.open(path).convert("RGB") for path in sys.argv[1:3])
sys.exit(0 if a.size == b.size and a.tobytes() == b.tobytes() else 1)
PY
  else
    say "Pillow is not installed: the PNG is compared with the build tool's only"
  fi
  say "converted $(basename "$source") with the installed and the portable pictomill-convert.exe ($(stat -c %s "$check/转换/installed.png") bytes)"
}

say "installing $(basename "$setup") silently ($(stat -c %s "$setup") bytes)"
install
check_installed
convert_with_installed
uninstall empty
[ ! -e "$install_dir" ] || fail "the uninstall left $install_dir: $(cd "$install_dir" && find . -mindepth 1 | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the uninstall left the Start-menu shortcut"
[ "$failures" = 0 ] && say "first round: installed, converted, uninstalled, nothing left"

install
if [ "$window" = 0 ]; then
  say "pictomill.exe is not in the build: the installed window's notice is not checked"
elif [ -z "${DISPLAY:-}" ]; then
  fail "no display for the installed window"
elif [ ! -f "$build/tests/install_probe.exe" ]; then
  fail "tests/install_probe.exe is not built (PICTOMILL_TESTS=ON)"
else
  # The notice and the window's title as the sources write them.
  title=$(sed -n 's/^ *window\.title = "\(.*\)";$/\1/p' "$root/app/MainWindow.cpp")
  python3 - "$root/app/Startup.cpp" >"$check/notice-expected.txt" <<'PY' || true
import re, sys
source = open(sys.argv[1], encoding="utf-8").read()
body = re.search(r"NoticeText\(\) \{\s*return((?:\s*\"(?:[^\"\\]|\\.)*\")+);", source).group(1)
text = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', body))
sys.stdout.buffer.write(text.replace("\\r", "\r").replace("\\n", "\n").encode("utf-8"))
PY
  if [ -z "$title" ] || [ ! -s "$check/notice-expected.txt" ]; then
    fail "no window title in app/MainWindow.cpp or no NoticeText in app/Startup.cpp"
  elif run_wine "$build/tests/install_probe.exe" --timeout 120 --window-title "$title" \
    "$local_windows\\Programs\\Pictomill\\pictomill.exe" >"$check/notice.txt"; then
    if cmp -s "$check/notice.txt" "$check/notice-expected.txt"; then
      say "the installed window showed its notice over \"$title\": $(head -1 "$check/notice.txt" | tr -d '\r')"
    else
      fail "the installed window's notice is not app/Startup.cpp's: $(tr '\r\n' '  ' <"$check/notice.txt")"
    fi
  else
    fail "the installed window (tests/install_probe.exe above)"
  fi
fi
# What the user converted, beside the program and in the fallback folder.
kept=("$install_dir/tmp/png图片/改-x.png" "$user_data/tmp/png图片/改-x.png")
for picture in "${kept[@]}"; do
  mkdir -p "$(dirname "$picture")"
  cp "$check/转换/build.png" "$picture"
done
uninstall kept
for name in "${files[@]}" uninstall.exe; do
  [ ! -e "$install_dir/$name" ] || fail "the uninstall left $name"
done
[ ! -e "$shortcut" ] || fail "the uninstall left the Start-menu shortcut"
for picture in "${kept[@]}"; do
  cmp -s "$picture" "$check/转换/build.png" || fail "the uninstall took the user's ${picture#"$local_unix"/}"
done
left=$(cd "$install_dir" && find . -maxdepth 1 -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./tmp " ] || fail "after the uninstall the folder holds $left, not ./tmp alone"
rm -rf "$install_dir" "$user_data"

if [ "$failures" != 0 ]; then
  say "$failures checks failed"
  exit 1
fi
say "second round: installed again, $([ "$window" = 1 ] && echo "the window's notice answered, ")the user's pictures kept, every installed file gone"
