#!/usr/bin/env bash
# valgrind memcheck over one conversion through each of the nine commands,
# each from a different reader, with build/pictomill-convert. Any leak or
# invalid access fails (exit 9). Uses the shared corpus when it is beside the
# repository, else the hand-made controls of tests/data/hostile.
set -euo pipefail
cd "$(dirname "$0")/.."

tool=${PICTOMILL_CONVERT:-build/pictomill-convert}
[ -x "$tool" ] || { echo "valgrind-check: build $tool first (scripts/build.sh)" >&2; exit 2; }
command -v valgrind >/dev/null || { echo "valgrind-check: valgrind is not installed" >&2; exit 2; }

corpus=${PICTOMILL_CORPUS_DIR:-../shared/corpus}
hostile=tests/data/hostile
if [ -f "$corpus/MANIFEST.tsv" ]; then
  jpeg=$corpus/jpeg/generated/kodim23_q85_420.jpg
  progressive=$corpus/jpeg/generated/kodim03_progressive.jpg
  bmp=$corpus/bmp/generated/kodim20_192x128_bmp3_24.bmp
  png=$corpus/png/generated/kodim23_palette64.png
  pcx=$corpus/pcx/generated/kodim20_192x128_pal8_netpbm.pcx
  tif=$corpus/tiff/generated/kodim08_lzw.tif
  pcd=$corpus/pcd/generated/kodim23_im_padded_1048576.pcd
  grey=$corpus/png/generated/kodim23_grey_alpha.png
  pcx24=$corpus/pcx/generated/kodim20_192x128_24_netpbm.pcx
else
  jpeg=$hostile/jpeg-valid-colour.jpg progressive=$hostile/jpeg-valid-grey.jpg bmp=$hostile/bmp-valid-base.bmp
  png=$hostile/png-valid-base.png pcx=$hostile/pcx-valid-8.pcx tif=$hostile/tiff-valid-base.tif
  pcd=$hostile/bmp-valid-base.bmp grey=$hostile/png-valid-interlaced.png pcx24=$hostile/pcx-valid-24.pcx
fi

out=$(mktemp -d)
export TMPDIR=$out
trap 'rm -rf "$out"' EXIT
# command  source  extra options
runs=(
  "jpg $png"
  "bmp $jpeg"
  "tif $pcx"
  "png $tif"
  "ppm $pcd"
  "pgm $progressive"
  "pcx $grey"
  "pic $bmp"
  "sgi $pcx24"
)
failed=0
for run in "${runs[@]}"; do
  set -- $run
  format=$1 source=$2
  log=$out/valgrind-$format.log
  if valgrind --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=9 \
      --log-file="$log" "$tool" "$format" "$source" "$out/target.$format"; then
    status=ok
  else
    status="FAILED ($?)"
    failed=1
  fi
  summary=$(grep -E "ERROR SUMMARY|in use at exit" "$log" | sed 's/^==[0-9]*== //' | tr '\n' ' ')
  printf '%-4s %-60s %s: %s\n' "$format" "${source#"$corpus"/}" "$status" "$summary"
  [ "$status" = ok ] || cat "$log"
done
if ls "$out"/ORBCLASS*.tmp >/dev/null 2>&1; then
  echo "valgrind-check: scratch files left behind" >&2
  failed=1
fi
exit $failed
