#!/usr/bin/env bash
# windows-dll-check.sh BUILD_DIR: every .exe of the Windows build imports only
# DLLs that come with Windows itself (static C and C++ run-times, codecs and
# threads), so nothing needs to be shipped beside it.
set -euo pipefail
build=$1
# Windows' own DLLs that a MinGW program links against.
system='^(kernel32|user32|gdi32|advapi32|shell32|ole32|comctl32|comdlg32|msvcrt|ucrtbase|api-ms-win-crt-.*|ws2_32|bcrypt|ntdll|shlwapi|uxtheme|oleaut32|imm32|version|winmm)\.dll$'
status=0
count=0
while IFS= read -r -d '' exe; do
  count=$((count + 1))
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system"; then
      echo "windows-dll-check: ${exe#"$build"/} needs $dll, which Windows does not have" >&2
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
# Not the Wine prefix's programs, nor the packaged and installed copies.
done < <(find "$build" \( -path "$build/deps" -o -path "$build/wine-prefix" -o -path "$build/wine-window" -o -path "$build/package" \
  -o -path "$build/install-check" -o -name CMakeFiles \) -prune -o -name '*.exe' -print0)
if [ "$count" = 0 ]; then
  echo "windows-dll-check: no .exe under $build" >&2
  exit 1
fi
[ "$status" = 0 ] && echo "windows-dll-check: $count programs import only system DLLs"
exit $status
