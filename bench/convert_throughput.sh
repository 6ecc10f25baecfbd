#!/usr/bin/env bash
# Throughput of `framedec convert` on a 1,000-frame recording of the test photographs (1024 lines),
# to each output format, beside the decode-only rate of the same frames through the same pipeline.
# Run after `cmake --preset bench && cmake --build --preset bench`:
#   bench/convert_throughput.sh [BUILD_DIR (build/bench)] [THREADS (processor count)] [WORK_DIR]
# WORK_DIR (default: a new folder under the system's temporary directory) needs about 3 GB.
# With BASELINE=OTHER_BUILD_DIR (a bench build of another version) each row is run with that
# build's tool too, right after, so that the two compare within one run.
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
build=${1:-build/bench}
threads=${2:-$(nproc)}
work=${3:-$(mktemp -d)}
rate=$build/bench/recording_decode_rate
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sequence"

"$build/tools/cli/framedec" synth data/images/{astronaut,gravel,hubble,rocket}.pgm --count 1000 -o "$work/rec.bin" |
  tail -1

fps() { sed -n 's/.* \([0-9.]*\) frames\/s$/\1/p'; }
convert_with() {  # label, build, output, extra options
  rm -rf "$work/sequence"/* "$work"/*.tif
  sync  # so that no run waits for the writing of the one before (each flushes its files to disk)
  local result size
  result=$("$2/tools/cli/framedec" convert "$work/rec.bin" --height 1024 --threads "$threads" -o "$3" "${@:4}" | fps)
  size=$(du -sm "$work/sequence" "$work"/*.tif 2>/dev/null | awk '{s += $1} END {print s}')
  printf '%-30s %10s %12s %9s MB\n' "$1" "$result" "$(awk -v a="$result" -v b="$decode" 'BEGIN {printf "%.2f", a / b}')" "$size"
}
convert() {  # label, output, extra options
  convert_with "$1" "$build" "${@:2}"
  [ -z "${BASELINE:-}" ] || convert_with "  baseline" "$BASELINE" "${@:2}"
}

decode=$("$rate" "$work/rec.bin" 1024 "$threads" | fps)
decode_dc=$("$rate" "$work/rec.bin" 1024 "$threads" dc | fps)
printf '\n%d frames of 1246 x 1024, %s threads, load average %s\n' 1000 "$threads" "$(cut -d' ' -f1 /proc/loadavg)"
printf '%-30s %10s %12s %12s\n' "output" "frames/s" "/ decode" "size"
printf '%-30s %10s %12s\n' "decode only (pixels)" "$decode" "1.00"
convert "TIFF, uncompressed" "$work/out.tif"
convert "TIFF, deflate" "$work/out.tif" --deflate
convert "PNG sequence" "$work/sequence/f%04d.png"
convert "PGM sequence" "$work/sequence/f%04d.pgm"
printf '%-30s %10s %12s\n' "decode only (dc)" "$decode_dc" "1.00"
decode=$decode_dc convert "dc previews, TIFF" "$work/out.tif" --mode dc
