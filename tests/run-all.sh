#!/usr/bin/env bash
# Builds and runs every test suite: the default build (once per block-decoder variant), then the
# same suites under AddressSanitizer + UBSan and under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in default asan tsan; do
  echo "=== $preset ==="
  cmake --workflow --preset "$preset"
done
echo "=== all test suites passed ==="
