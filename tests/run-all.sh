#!/usr/bin/env bash
# Sets up the machine (tests/setup-machine.sh: the Debian packages it lacks, the pinned downloads
# into build/), then builds and runs every test suite: the default build (once per block-decoder
# variant, the fuzz corpus replays and the valgrind checks included), then the same suites under
# AddressSanitizer + UBSan and under ThreadSanitizer, all with the host GPU backend; each libFuzzer
# target for a fixed budget (60 s each, two at a time) seeded from the committed corpus; the cuda
# GPU backend where nvcc is present; a cross build for 64-bit ARM (where a cross compiler is
# installed) to show the library builds without the x86 block decoders; and the Windows build
# (where MinGW-w64 and Wine are installed): framedec.dll cross-built, its whole suite run under
# Wine. The Python package is built by pip from this tree into a fresh virtual environment under
# build/ (host GPU backend, so its GPU tests run), tested with pytest, and packed as a wheel.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/setup-machine.sh

for preset in default asan tsan fuzz; do
  echo "=== $preset ==="
  cmake --workflow --preset "$preset"
done
echo "=== python ==="
rm -rf build/python-venv
python3 -m venv build/python-venv
python_build=(--config-settings=cmake.define.FRAMEDEC_GPU_BACKEND=host --config-settings=build-dir=build/python)
CMAKE_BUILD_PARALLEL_LEVEL=2 build/python-venv/bin/pip install --quiet . "${python_build[@]}"
build/python-venv/bin/pip install --quiet pytest
build/python-venv/bin/python -m pytest python/tests
build/python-venv/bin/pip wheel --quiet --no-deps . "${python_build[@]}" -w build/python-wheel
if command -v nvcc >/dev/null; then
  echo "=== cuda ==="
  cmake --workflow --preset cuda
fi
if command -v aarch64-linux-gnu-g++ >/dev/null; then
  echo "=== aarch64 (build only) ==="
  cmake --workflow --preset aarch64
fi
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  echo "=== windows (under Wine) ==="
  cmake --workflow --preset windows
fi
echo "=== all test suites passed ==="
