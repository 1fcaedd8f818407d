#!/usr/bin/env bash
# Times pictomill-convert against the tools users would pick instead, doing the
# same work in the same hyperfine run, over photos it makes from the corpus:
# a 12-megapixel (4032 x 3024) and a 24-megapixel (6000 x 4000) picture tiled
# from the corpus's Kodak photos, and a folder of 50 crops of 1-2 megapixels.
# Peak memory of every command comes from /usr/bin/time -v (for a pipeline,
# its largest process). The markdown table
# (medians, min-max, ours / peer) replaces the section LABEL of OUTPUT.
#
# Usage: bench/compare.sh [--label LABEL] [--output FILE] [--runs N] [--quick]
#                         [--also NAME=BINARY]... [BUILD_DIR]
#   --also times another pictomill-convert (e.g. the code before a change)
#   beside the build's own; --quick times the 12-megapixel set only.
set -euo pipefail

label=results
output=docs/PERFORMANCE.md
runs=5
quick=0
extra=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --label) label=$2; shift 2 ;;
    --output) output=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --quick) quick=1; shift ;;
    --also) extra+=("$2"); shift 2 ;;
    *) break ;;
  esac
done
build=${1:-build}
tool=$(realpath "$build/pictomill-convert")
corpus=${PICTOMILL_CORPUS:-$(dirname "$0")/../../shared/corpus}
[[ -d $corpus/png/kodak ]] || { echo "compare.sh: no corpus photos in $corpus" >&2; exit 2; }
for needed in hyperfine convert-im6.q16 gm vips djpeg cjpeg jpegtopnm ppmtopgm pngtopam pnmtojpeg ppm2tiff python3; do
  command -v "$needed" >/dev/null || { echo "compare.sh: $needed is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pictomill-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
im=convert-im6.q16
# The peers' own thread pools would take both cores; ours is single-threaded per
# file, so every peer runs as it would by default.

# --- the photo set -------------------------------------------------------------
photos=("$corpus"/png/kodak/*.png)
tile() {  # tile COLUMNS ROWS WIDTH HEIGHT OUT: photos in a grid, cropped
  local columns=$1 rows=$2 out=$5 n=0 row args=()
  for ((r = 0; r < rows; ++r)); do
    row=()
    for ((c = 0; c < columns; ++c)); do
      row+=("${photos[n % ${#photos[@]}]}")
      n=$((n + 1))
    done
    $im "${row[@]}" +append "$work/row$r.ppm"
    args+=("$work/row$r.ppm")
  done
  $im "${args[@]}" -append -crop "$3x$4+0+0" +repage "$out"
  rm -f "$work"/row*.ppm
}
tile 6 6 4032 3024 "$work/p12.ppm"
tile 8 8 6000 4000 "$work/p24.ppm"
sets=(p12)
[[ $quick == 1 ]] || sets+=(p24)
for s in p12 p24; do
  # A camera-like baseline JPEG and a PNG of the same pixels.
  cjpeg -quality 92 -outfile "$work/$s.jpg" "$work/$s.ppm"
  $im "$work/$s.ppm" "$work/$s.png"
done
mkdir -p "$work/folder" "$work/out-folder"
for ((i = 0; i < 50; ++i)); do
  w=$((1152 + (i % 5) * 64)); h=$((864 + (i % 7) * 48))
  x=$(((i * 97) % (4032 - w))); y=$(((i * 61) % (3024 - h)))
  $im "$work/p12.ppm" -crop "${w}x${h}+${x}+${y}" +repage -quality 92 "$work/folder/photo$(printf %02d "$i").jpg"
done

# --- the commands ----------------------------------------------------------------
# One conversion per group: "name@command"; the first line of a group is ours.
ours_list=("pictomill-convert=$tool" "${extra[@]}")
groups=()
add_group() { groups+=("$(printf '%s\n' "$@")"); }
ours() {  # ours FORMAT SOURCE TARGET [OPTIONS]: one line per pictomill-convert
  local entry name binary format=$1 source=$2 target=$3
  shift 3
  for entry in "${ours_list[@]}"; do
    name=${entry%%=*}; binary=${entry#*=}
    echo "$name $format@$binary $format $source $target.$name $*"
  done
}
for s in "${sets[@]}"; do
  J=$work/$s.jpg; P=$work/$s.png; O=$work/out-$s; t="${s#p} MP"
  add_group "$t JPEG→BMP" "$(ours bmp "$J" "$O.bmp")" \
    "djpeg -bmp@djpeg -bmp -outfile $O-d.bmp $J" \
    "convert-im6.q16@$im $J $O-m.bmp" \
    "gm convert@gm convert $J $O-g.bmp"
  add_group "$t JPEG→PPM" "$(ours ppm "$J" "$O.ppm")" \
    "djpeg -pnm@djpeg -pnm -outfile $O-d.ppm $J" \
    "convert-im6.q16@$im $J $O-m.ppm" \
    "gm convert@gm convert $J $O-g.ppm" \
    "vips copy@vips copy $J $O-v.ppm"
  add_group "$t JPEG→PGM" "$(ours pgm "$J" "$O.pgm")" \
    "jpegtopnm | ppmtopgm@sh -c 'jpegtopnm $J 2>/dev/null | ppmtopgm > $O-n.pgm'" \
    "djpeg -grayscale -pnm@djpeg -grayscale -pnm -outfile $O-d.pgm $J" \
    "convert-im6.q16@$im $J -colorspace Gray $O-m.pgm" \
    "gm convert@gm convert $J -colorspace GRAY $O-g.pgm" \
    "vips colourspace b-w@vips colourspace $J $O-v.pgm b-w"
  add_group "$t PNG→JPEG" "$(ours jpg "$P" "$O.jpg")" \
    "cjpeg from PPM@cjpeg -quality 99 -optimize -smooth 50 -outfile $O-c.jpg $work/$s.ppm" \
    "pngtopam | pnmtojpeg@sh -c 'pngtopam $P | pnmtojpeg --quality=99 --optimize --smooth=50 > $O-n.jpg'" \
    "convert-im6.q16@$im $P -quality 99 $O-m.jpg" \
    "gm convert@gm convert $P -quality 99 $O-g.jpg" \
    "vips copy@vips copy $P $O-v.jpg[Q=99,optimize_coding]"
  add_group "$t JPEG→PNG" "$(ours png "$J" "$O.png")" \
    "convert-im6.q16@$im $J -quality 65 -interlace PNG $O-m.png" \
    "gm convert@gm convert $J -quality 65 -interlace Line $O-g.png" \
    "vips copy@vips copy $J $O-v.png[interlace,filter=all,compression=6]"
  add_group "$t JPEG→TIF" "$(ours tif "$J" "$O.tif")" \
    "djpeg | ppm2tiff@sh -c 'djpeg $J | ppm2tiff -c none $O-d.tif'" \
    "convert-im6.q16@$im $J -compress None $O-m.tif" \
    "gm convert@gm convert $J -compress None $O-g.tif" \
    "vips copy@vips copy $J $O-v.tif"
  add_group "$t PNG→PCX" "$(ours pcx "$P" "$O.pcx")" \
    "convert-im6.q16@$im $P -compress RLE $O-m.pcx" \
    "gm convert@gm convert $P -compress RLE $O-g.pcx"
  add_group "$t JPEG→SGI" "$(ours sgi "$J" "$O.sgi")" \
    "convert-im6.q16@$im $J -compress None $O-m.sgi" \
    "gm convert@gm convert $J -compress None $O-g.sgi"
  add_group "$t JPEG→PIC" "$(ours pic "$J" "$O.pic")"
  add_group "$t PNG→BMP" "$(ours bmp "$P" "$O-p.bmp")" \
    "convert-im6.q16@$im $P $O-m2.bmp" \
    "gm convert@gm convert $P $O-g2.bmp" \
    "pngtopam | ppmtobmp@sh -c 'pngtopam $P | ppmtobmp > $O-n.bmp 2>/dev/null'"
done
F=$work/folder; OF=$work/out-folder
batch=()
for entry in "${ours_list[@]}"; do
  name=${entry%%=*}; binary=${entry#*=}
  batch+=("$name one by one@sh -c 'for f in $F/*.jpg; do $binary png \$f $OF/\$(basename \$f).png || exit 1; done'")
  if "$binary" png --into "$OF" -j 2 "$F/photo00.jpg" >/dev/null 2>&1; then
    batch+=("$name --into -j 2@$binary png --into $OF -j 2 $F/*.jpg")
  fi
done
add_group "50 photos → PNG" "${batch[@]}" \
  "xargs -P2 mogrify@sh -c 'ls $F/*.jpg | xargs -P2 -n1 mogrify-im6.q16 -path $OF -format png -quality 65 -interlace PNG'" \
  "xargs -P2 gm mogrify@sh -c 'cd $F && ls *.jpg | xargs -P2 -n1 gm mogrify -output-directory $OF -format png -quality 65 -interlace Line'" \
  "xargs -P2 vips copy@sh -c 'cd $F && ls *.jpg | xargs -P2 -I{} vips copy {} $OF/{}.v.png[interlace,filter=all,compression=6]'"

# --- timing ------------------------------------------------------------------------
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
results=$work/results.tsv
: > "$results"
n=0
for group in "${groups[@]}"; do
  title=$(head -n1 <<< "$group")
  args=()
  names=()
  commands=()
  # Peak memory first; a peer that fails here is left out of the timing.
  while IFS='@' read -r name command; do
    /usr/bin/time -v -o "$work/time.txt" sh -c "$command" >/dev/null 2>&1 && status=0 || status=$?
    memory=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
    if [[ $status != 0 ]]; then
      printf '%s\t%s\t%s\tfailed\n' "$title" "$n" "$name" >> "$results"
      continue
    fi
    names+=("$name"); commands+=("$command")
    args+=(-n "$name" "$command")
    printf '%s\t%s\t%s\t%s\n' "$title" "$n" "$name" "${memory:-?}" >> "$results"
  done < <(tail -n +2 <<< "$group")
  group_runs=$runs
  [[ $title == 24* || $title == 50* ]] && group_runs=$(( runs > 3 ? 3 : runs ))
  echo "== $title" >&2
  hyperfine --style basic --warmup 1 --runs "$group_runs" --export-json "$work/t$n.json" "${args[@]}" >&2
  n=$((n + 1))
done

# --- the outputs: every build of ours must write the same bytes ----------------------
hashes=$work/hashes.txt
( cd "$work" && sha256sum out-p*.pictomill-convert ) > "$hashes"
identical=yes
for entry in "${extra[@]}"; do
  other=${entry%%=*}
  for mine in "$work"/out-p*.pictomill-convert; do
    cmp -s "$mine" "${mine%.pictomill-convert}.$other" || { identical=no; echo "compare.sh: $(basename "$mine") differs from $other's" >&2; }
  done
done

# --- the table ---------------------------------------------------------------------
table=$work/table.md
python3 - "$work" "$results" > "$table" <<'PY'
import json, sys
work, results = sys.argv[1], sys.argv[2]
rows = [line.rstrip('\n').split('\t') for line in open(results)]
groups = {}
for title, n, name, memory in rows:
    groups.setdefault((int(n), title), []).append((name, memory))
print('| Conversion | Command | Median s | Min–max s | CPU s (user+sys) | Peak RSS MiB | pictomill ÷ this |')
print('|---|---|---:|---:|---:|---:|---:|')
for (n, title), members in sorted(groups.items()):
    data = {r['command']: r for r in json.load(open(f'{work}/t{n}.json'))['results']}
    ours = data[members[0][0]]['median'] if members[0][0] in data else None
    for name, memory in members:
        shown = name.replace('|', '\\|')
        if memory == 'failed' or name not in data:
            print(f'| {title} | {shown} | failed | | | | |')
            continue
        r = data[name]
        mib = f'{int(memory) / 1024:.0f}' if memory.isdigit() else '?'
        ratio = '1.00' if name == members[0][0] else (f'{ours / r["median"]:.2f}' if ours else '')
        cpu = r['user'] + r['system']
        print(f'| {title} | {shown} | {r["median"]:.3f} | {r["min"]:.3f}–{r["max"]:.3f} | {cpu:.3f} | {mib} | {ratio} |')
PY
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
machine="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, \
$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), $(uname -sr)"
section=$work/section.md
{
  echo "<!-- compare:$label begin -->"
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $machine; load average (1, 5, 15 min) $load_before before"
  echo "and $load_after after the run; hyperfine, 1 warm-up, $runs runs (3 for 24 megapixels and the folder)."
  if [[ ${#extra[@]} -gt 0 ]]; then
    echo "Outputs of every build timed here byte-identical to pictomill-convert's: $identical."
  fi
  echo
  cat "$table"
  echo
  echo "SHA-256 of pictomill-convert's outputs of this photo set:"
  echo
  echo '```'
  cat "$hashes"
  echo '```' 
  echo "<!-- compare:$label end -->"
} > "$section"
touch "$output"
python3 - "$output" "$section" "$label" <<'PY'
import sys
path, section, label = sys.argv[1:]
text = open(path).read()
new = open(section).read()
begin, end = f'<!-- compare:{label} begin -->', f'<!-- compare:{label} end -->'
if begin in text and end in text:
    text = text[:text.index(begin)] + new.rstrip('\n') + text[text.index(end) + len(end):]
else:
    text = text.rstrip('\n') + '\n\n' + new
open(path, 'w').write(text)
PY
echo "compare.sh: section $label written to $output" >&2
