#!/usr/bin/env bash
# fuzz/run.sh BUILD_DIR SECONDS [HARNESS...]: runs each harness for SECONDS over
# a working corpus seeded from ../shared/corpus; crashes land in fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=$2
shift 2
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(load_any_image bmp pcx photo_cd jpeg exif png tiff decode_run_line write_round_trip)
fi
corpus="$root/../shared/corpus"
work=$(mktemp -d "${TMPDIR:-/tmp}/pictomill-fuzz-XXXXXX")
mkdir -p "$root/fuzz/findings"

seed_folders() {
  case $1 in
    bmp) echo bmp ;;
    pcx|decode_run_line) echo pcx ;;
    photo_cd) echo pcd ;;
    jpeg|exif) echo jpeg ;;
    png|write_round_trip) echo png ;;
    tiff) echo tiff ;;
    *) echo bmp jpeg png tiff pcx pcd other ;;
  esac
}

status=0
for name in "${harnesses[@]}"; do
  binary="$build/fuzz/fuzz_$name"
  [ -x "$binary" ] || { echo "fuzz: no harness $binary"; continue; }
  seeds="$work/$name"
  mkdir -p "$seeds"
  if [ -d "$corpus" ]; then
    for folder in $(seed_folders "$name"); do
      [ -d "$corpus/$folder" ] && find "$corpus/$folder" -type f -size -1100k -exec cp -t "$seeds" {} + 2>/dev/null || true
    done
  fi
  case $name in
    write_round_trip) max_len=2048 ;;
    decode_run_line|exif) max_len=65536 ;;
    *) max_len=1200000 ;;
  esac
  echo "fuzz: $name for ${seconds}s"
  scratch="$work/$name.tmp"
  mkdir -p "$scratch"
  # A failed malloc returns null in the program too; only truly huge requests
  # are findings. A tiny header may legitimately declare a picture of up to
  # 4 GiB (a truncated JPEG is decoded whole), hence the memory and time limits.
  if ! (cd "$scratch" && TMPDIR="$scratch" ASAN_OPTIONS=allocator_may_return_null=1 \
          "$binary" "$seeds" -max_total_time="$seconds" -max_len="$max_len" -malloc_limit_mb=8192 \
          -seed="${FUZZ_SEED:-1}" -rss_limit_mb=8192 -timeout=60 -artifact_prefix="$root/fuzz/findings/$name-" -print_final_stats=1 \
          2>"$work/$name.log"); then
    echo "fuzz: $name FAILED"; tail -40 "$work/$name.log"; status=1
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$work/$name.log" | sed "s/^/  $name /"
  if ls "$scratch" | grep -q '^ORBCLASS'; then echo "fuzz: $name left scratch files"; status=1; fi
done
rm -rf "$work"
exit $status
