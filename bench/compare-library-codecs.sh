#!/usr/bin/env bash
# Times the library codecs (Google Benchmark) and, on the same 6000 x 4000
# picture in the same run, libjpeg-turbo's own tools and ImageMagick with
# matching settings, through hyperfine.
# Usage: bench/compare-library-codecs.sh [BUILD_DIR [RESULTS_DIR]]
set -euo pipefail
build=${1:-build}
results=${2:-.}
work=$(mktemp -d "${TMPDIR:-/tmp}/pictomill-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

PICTOMILL_BENCH_DIR=$work "$build/library_codecs_bench" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_out="$results/library-codecs-bench.json" \
  --benchmark_out_format=json

tool=$build/pictomill-convert
im=convert-im6.q16
hyperfine --warmup 1 --runs 5 --export-json "$results/library-codecs-hyperfine.json" \
  -n "djpeg (read)" "djpeg -dct int -ppm -outfile $work/d.ppm $work/photo.jpg" \
  -n "cjpeg q99 optimize smooth 50 (write)" "cjpeg -quality 99 -optimize -smooth 50 -dct int -baseline -outfile $work/c.jpg $work/photo.ppm" \
  -n "pictomill-convert jpg" "$tool jpg $work/photo.jpg $work/o.jpg" \
  -n "convert -quality 99 (jpg)" "$im $work/photo.jpg -quality 99 $work/m.jpg" \
  -n "pictomill-convert png" "$tool png $work/photo.jpg $work/o.png" \
  -n "convert -quality 65 -interlace PNG" "$im $work/photo.jpg -quality 65 -interlace PNG $work/m.png" \
  -n "pictomill-convert tif" "$tool tif $work/photo.jpg $work/o.tif" \
  -n "convert -compress None (tif)" "$im $work/photo.jpg -compress None $work/m.tif"
