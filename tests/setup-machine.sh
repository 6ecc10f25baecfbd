# The machine set-up of tests/run-all.sh (sourced from the repository's root): installs the Debian
# packages a fresh machine lacks, then fetches the pinned downloads that the cuda and Windows
# suites need into build/. Nothing is installed or downloaded that is already there.
# Run on its own with a part's name, it does only that part:
#   bash tests/setup-machine.sh nvrtc                 NVRTC 12.9 into build/cuda-nvrtc, which the
#                                                     cuda backend's device code for 5.2 to 7.0 needs
#   bash tests/setup-machine.sh cuda-runtime-aarch64  NVIDIA's static runtime for 64-bit ARM Linux
#                                                     into build/cuda-runtime-aarch64 (aarch64-cuda)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The Debian packages the builds and the test suites need. Add a package to the list of its kind.
debian_packages=(
  cmake g++ clang libclang-rt-14-dev valgrind binutils    # compilers, sanitizer runtimes, memcheck
  libgtest-dev libbenchmark-dev libjpeg62-turbo-dev uuid-dev libtiff-dev libpng-dev libdeflate-dev
  python3-venv python3-dev                                # the Python package's virtual environment
  g++-aarch64-linux-gnu qemu-user                         # the 64-bit ARM cross build, its tests
  pkg-config dpkg-dev file lintian                        # the Debian packages and their checks
  mono-mcs mono-runtime                                   # the C# declarations' test
)
# Installed without the packages they recommend: MinGW-w64 with POSIX threads for the Windows
# build and its zlib (the Windows tool's TIFF and PNG output), Wine to run its tests (without
# Wine's desktop packages), llvm for framedec.lib (llvm-dlltool) and lld for the MSVC-style link
# of the consumer check.
debian_packages_without_recommends=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 llvm lld)
# The cuda suite fetches its NVIDIA tools with pip.
if command -v nvcc >/dev/null && ! python3 -m pip --version >/dev/null 2>&1; then
  debian_packages+=(python3-pip)
fi

# missing_packages PACKAGE...: prints those of the packages that are not installed.
missing_packages() {
  local package
  for package in "$@"; do
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ] || echo "$package"
  done
}

install_debian_packages() {
  if ! command -v dpkg-query >/dev/null; then
    echo "not a Debian system: the test suites need the equivalents of ${debian_packages[*]}" \
         "${debian_packages_without_recommends[*]}"
    return
  fi
  local missing missing_without_recommends
  mapfile -t missing < <(missing_packages "${debian_packages[@]}")
  mapfile -t missing_without_recommends < <(missing_packages "${debian_packages_without_recommends[@]}")
  local all=("${missing[@]}" "${missing_without_recommends[@]}")
  [ ${#all[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    echo "missing Debian packages, install them as root and run again: apt-get install ${all[*]}" >&2
    exit 1
  fi
  echo "installing: ${all[*]}"
  # Waits for another apt-get or dpkg that holds the lock rather than failing.
  local apt_get=(apt-get -q -y -o DPkg::Lock::Timeout=600)
  export DEBIAN_FRONTEND=noninteractive
  "${apt_get[@]}" update
  [ ${#missing[@]} -eq 0 ] || "${apt_get[@]}" install "${missing[@]}"
  [ ${#missing_without_recommends[@]} -eq 0 ] ||
    "${apt_get[@]}" install --no-install-recommends "${missing_without_recommends[@]}"
}

# pip_target DIR PACKAGE==VERSION...: installs the wheels, without dependencies, into DIR.
pip_target() {
  local dir=$1
  shift
  echo "fetching: $* (PyPI) into $dir"
  python3 -m pip install --quiet --disable-pip-version-check --root-user-action=ignore --no-deps --target "$dir" "$@"
}

# debian_archive_uri CODENAME: the URI of the machine's own Debian archive, read from its apt
# sources (one-line .list files and deb822 .sources files): the first source of binary packages
# for the release CODENAME, printed with its key file as "URI KEYRING" (KEYRING may be empty).
debian_archive_uri() {
  local codename=$1
  local sources_list source_parts file lists=() deb822=()
  eval "$(apt-config shell sources_list Dir::Etc::sourcelist/f source_parts Dir::Etc::sourceparts/d)"
  [ ! -e "$sources_list" ] || lists+=("$sources_list")
  for file in "$source_parts"*.list; do [ ! -e "$file" ] || lists+=("$file"); done
  for file in "$source_parts"*.sources; do [ ! -e "$file" ] || deb822+=("$file"); done
  {
    # deb [signed-by=KEYRING ...] URI SUITE COMPONENT...
    [ ${#lists[@]} -eq 0 ] || awk -v codename="$codename" '
      $1 == "deb" {
        keyring = ""
        if (match($0, /signed-by=[^] ]+/)) keyring = substr($0, RSTART + 10, RLENGTH - 10)
        sub(/^deb[ \t]+(\[[^]]*\][ \t]+)?/, "")
        if ($2 == codename) print $1, keyring
      }' "${lists[@]}"
    # Paragraphs of "Field: value" lines, separated by blank lines.
    [ ${#deb822[@]} -eq 0 ] || awk -v codename="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " codename " ") && enabled != "no") {
          split(uris, uri, " ")
          print uri[1], keyring
        }
        types = uris = suites = keyring = enabled = ""
      }
      FNR == 1 { flush() }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      /^[A-Za-z-]+:/ {
        field = tolower($1); value = $0
        sub(/^[^:]+:[ \t]*/, "", value)
        if (field == "types:") types = value
        else if (field == "uris:") uris = value
        else if (field == "suites:") suites = value
        else if (field == "signed-by:" && value ~ /^\//) keyring = value
        else if (field == "enabled:") enabled = tolower(value)
      }
      END { flush() }' "${deb822[@]}"
  } | awk '{ print $1, $2; exit }'
}

# Debian's nvidia-cuda-toolkit 11.8 (bookworm, non-free): downloaded, not installed, through a
# private apt configuration that reads the machine's own Debian mirror; only cuobjdump and
# nvdisasm are taken out of it, into DIR/usr/bin.
fetch_cuda_11_8_binary_tools() {
  local dir=$1
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  local mirror keyring
  read -r mirror keyring < <(debian_archive_uri "$codename") || true
  if [ -z "$mirror" ]; then
    echo "no Debian source for '$codename' in the machine's apt configuration: cannot fetch CUDA 11.8's tools" >&2
    exit 1
  fi
  echo "fetching: cuobjdump and nvdisasm 11.8 (Debian non-free nvidia-cuda-toolkit, from $mirror) into $dir"
  local apt_dir=$PWD/build/apt-non-free
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$dir"
  echo "deb ${keyring:+[signed-by=$keyring] }$mirror bookworm non-free" > "$apt_dir/sources.list"
  local apt_get=(apt-get -q -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-"
                 -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
                 -o "APT::Sandbox::User=$(id -un)")
  "${apt_get[@]}" update
  (cd "$apt_dir" && "${apt_get[@]}" download nvidia-cuda-toolkit=11.8.89~11.8.0-5~deb12u1)
  dpkg-deb --fsys-tarfile "$apt_dir"/nvidia-cuda-toolkit_*.deb |
    tar -x -C "$dir" ./usr/bin/cuobjdump ./usr/bin/nvdisasm
  rm -rf "$apt_dir"
}

# fetch_from_wheel PLATFORM PACKAGE==VERSION MEMBER FILE: takes one file (MEMBER, its path inside
# the wheel) out of PyPI's wheel of the package for PLATFORM, into FILE.
fetch_from_wheel() {
  local platform=$1 package=$2 member=$3 file=$4
  local wheel_dir
  wheel_dir=$(mktemp -d)
  echo "fetching: $(basename "$file") (PyPI $package for $platform) into $(dirname "$file")"
  python3 -m pip download --quiet --disable-pip-version-check --no-deps --only-binary=:all: \
    --platform "$platform" --python-version 3.11 --dest "$wheel_dir" "$package"
  mkdir -p "$(dirname "$file")"
  python3 - "$wheel_dir" "$member" "$file" <<'UNPACK'
import glob, sys, zipfile
folder, member, file = sys.argv[1:]
with zipfile.ZipFile(glob.glob(folder + "/*.whl")[0]) as wheel, open(file, "wb") as out:
    out.write(wheel.read(member))
UNPACK
  rm -rf "$wheel_dir"
}

# NVIDIA's runtime DLL for the Windows DLL's test under Wine (framedec.dll loads it at run time;
# it is not shipped), taken out of PyPI's nvidia-cuda-runtime wheel for Windows.
fetch_cuda_runtime_dll() {
  fetch_from_wheel win_amd64 nvidia-cuda-runtime==13.0.96 nvidia/cu13/bin/x86_64/cudart64_13.dll \
    "$1/cudart64_13.dll"
}

# NVRTC 12.9 builds the device code for compute capability 5.2 to 7.0, which CUDA 13's nvcc no
# longer targets.
fetch_nvrtc() {
  [ -e build/cuda-nvrtc/nvidia/cuda_nvrtc/lib/libnvrtc.so.12 ] ||
    pip_target build/cuda-nvrtc nvidia-cuda-nvrtc-cu12==12.9.86
}

# NVIDIA's static runtime for 64-bit ARM Linux (SBSA servers, Grace, Thor), which the aarch64 cuda
# build links, taken out of PyPI's nvidia-cuda-runtime wheel for that platform. The build compiles
# against the x86 toolkit's headers, the same text.
fetch_cuda_runtime_aarch64() {
  [ -e build/cuda-runtime-aarch64/libcudart_static.a ] ||
    fetch_from_wheel manylinux2014_aarch64 nvidia-cuda-runtime==13.0.96 nvidia/cu13/lib/libcudart_static.a \
      build/cuda-runtime-aarch64/libcudart_static.a
}

# The cuda backend's device code and its checks, where nvcc is present. Everything goes into the
# build tree, where the cuda presets find it; nothing is installed system-wide.
fetch_cuda_downloads() {
  command -v nvcc >/dev/null || return 0
  fetch_nvrtc
  # The device-code test reads the kernels' SASS with cuobjdump (which calls nvdisasm), missing
  # from the CUDA toolkit here (no 13.0 build of them on PyPI: 13.2 is the oldest of the CUDA 13
  # line, and reads 13.0 code).
  if ! command -v cuobjdump >/dev/null && [ ! -x "$(dirname "$(command -v nvcc)")/cuobjdump" ] &&
     [ ! -x build/cuda-binary-tools/nvidia/cu13/bin/nvdisasm ]; then
    pip_target build/cuda-binary-tools nvidia-cuda-cuobjdump==13.2.51 nvidia-cuda-nvdisasm==13.2.51
  fi
  # CUDA 13's nvdisasm no longer reads machine code older than 7.5; CUDA 11.8's does.
  [ -x build/cuda-binary-tools-11.8/usr/bin/nvdisasm ] || fetch_cuda_11_8_binary_tools build/cuda-binary-tools-11.8
  [ -e build/cuda-runtime-windows/cudart64_13.dll ] || fetch_cuda_runtime_dll build/cuda-runtime-windows
  if command -v aarch64-linux-gnu-g++ >/dev/null; then fetch_cuda_runtime_aarch64; fi
}

# tifffile reads the tool's TIFF stacks back as ImageJ hyperstacks, and Pillow its PNG files (the
# tool.tifffile and windows tool.readers tests), in a virtual environment of their own.
fetch_tiff_readers() {
  if ! { [ -x build/tiff-readers/bin/python ] && build/tiff-readers/bin/python -c "import tifffile" 2>/dev/null; }; then
    echo "fetching: tifffile and numpy (PyPI) into build/tiff-readers"
    rm -rf build/tiff-readers
    python3 -m venv build/tiff-readers
    build/tiff-readers/bin/pip install --quiet --disable-pip-version-check tifffile==2026.3.3 numpy==2.4.6
  fi
  build/tiff-readers/bin/python -c "import PIL" 2>/dev/null && return 0
  echo "fetching: Pillow (PyPI) into build/tiff-readers"
  build/tiff-readers/bin/pip install --quiet --disable-pip-version-check pillow==13.0.0
}

case "${1:-all}" in
  nvrtc) fetch_nvrtc ;;
  cuda-runtime-aarch64) fetch_cuda_runtime_aarch64 ;;
  all)
    install_debian_packages
    fetch_cuda_downloads
    fetch_tiff_readers
    ;;
  *)
    echo "usage: bash tests/setup-machine.sh [nvrtc | cuda-runtime-aarch64]" >&2
    exit 2
    ;;
esac
