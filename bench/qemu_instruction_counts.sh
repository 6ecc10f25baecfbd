#!/usr/bin/env bash
# Instructions per whole-frame decode of the 64-bit ARM cross build (cmake --workflow --preset
# aarch64), per block-decoder variant and test image, counted under qemu-user by a small TCG plugin
# (qemu_instruction_counter.c, built here with the host's C compiler). Counts of emulated guest
# instructions: they do not move with the machine's load, and compare the NEON variant with the
# portable one; they say nothing about a real processor's cycles.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/aarch64}
plugin="$build/qemu_instruction_counter.so"
cc -O2 -shared -fPIC -fvisibility=hidden -o "$plugin" bench/qemu_instruction_counter.c
qemu-aarch64 -L /usr/aarch64-linux-gnu -plugin "$plugin" -d plugin "$build/bench/frame_instructions" data/images 2>&1 |
  awk '/^instructions / { printf "%-22s %-10s %12.2f M\n", label, image, $2 / 1e6; next } { label = $1; image = $2 }'
