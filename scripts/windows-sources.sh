#!/usr/bin/env bash
# windows-sources.sh DIR PACKAGE=VERSION...: fetches Debian source packages
# (with Debian's patches applied) into DIR through a private apt configuration
# under DIR/apt. Its source entries are this machine's own apt entries with
# deb-src in place of deb, so no archive is named here.
set -euo pipefail
dir=$1
shift
apt=$dir/apt
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d" "$apt/state"
: >"$apt/sources.list"
if [ -f /etc/apt/sources.list ]; then
  sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' /etc/apt/sources.list >"$apt/sources.list"
fi
for file in /etc/apt/sources.list.d/*.list; do
  [ -f "$file" ] || continue
  sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$file" >>"$apt/sources.list"
done
for file in /etc/apt/sources.list.d/*.sources; do
  [ -f "$file" ] || continue
  # deb822 stanzas: every "Types:" line asks for sources instead.
  sed 's/^Types:.*/Types: deb-src/' "$file" >"$apt/sources.list.d/$(basename "$file")"
done
if [ ! -s "$apt/sources.list" ] && ! ls "$apt/sources.list.d/"*.sources >/dev/null 2>&1; then
  echo "windows-sources: no apt source entries on this machine to derive deb-src entries from" >&2
  exit 1
fi

options=(
  -o Dir::Etc::SourceList="$apt/sources.list"
  -o Dir::Etc::SourceParts="$apt/sources.list.d"
  -o Dir::State="$apt/state"
  -o Dir::State::Lists="$apt/lists"
  -o Dir::State::status=/var/lib/dpkg/status
  -o Dir::Cache="$apt/cache"
  -o Debug::NoLocking=1
  -o APT::Sandbox::User=root
)
if ! apt-get "${options[@]}" -qq update >"$apt/update.log" 2>&1; then
  echo "windows-sources: apt-get update of the source entries failed (see $apt/update.log)" >&2
  exit 1
fi
: >"$dir/FETCHED"
upstream() { local v=${1#*:}; echo "${v%-*}"; }
cd "$dir"
for wanted in "$@"; do
  package=${wanted%%=*}
  version=${wanted#*=}
  log=$apt/source-$package.log
  if ! apt-get "${options[@]}" -qq source "$package=$version" >"$log" 2>&1; then
    # The installed Debian revision may have left the archive (a newer upload
    # replaced it): take the newest revision of the same upstream version that
    # can be fetched.
    other=
    for candidate in $(apt-cache "${options[@]}" showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV); do
      [ "$(upstream "$candidate")" = "$(upstream "$version")" ] || continue
      if apt-get "${options[@]}" -qq source "$package=$candidate" >>"$log" 2>&1; then
        other=$candidate
        break
      fi
    done
    if [ -z "$other" ]; then
      echo "windows-sources: the Debian source package $package $(upstream "$version") cannot be had (see $log)" >&2
      exit 1
    fi
    echo "windows-sources: $package $version is no longer in the archive; using $other"
    version=$other
  fi
  echo "$package=$version" >>"$dir/FETCHED"
done
