#!/usr/bin/env bash
# Installs the Debian packages NorvaneScope needs to build, run, test and benchmark.
# Idempotent: only packages that are missing are installed.
set -euo pipefail

PACKAGES=(
  # build
  g++ cmake ninja-build pkg-config ccache
  # UI, 2-D drawing and codecs
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins qt6-translations-l10n libgl-dev
  # GIF writing
  libgif-dev
  # video recording
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  # image processing and focus fusion
  libopencv-dev enfuse
  # workbook export
  libxlsxwriter-dev
  # scanners and other acquisition sources
  libsane-dev libsane1 sane-utils
  # UVC cameras and device watch
  linux-libc-dev libv4l-dev libudev-dev libjpeg62-turbo-dev
  # fonts
  fonts-liberation fonts-wqy-microhei
  # tests
  libgtest-dev libgmock-dev xvfb xauth x11-utils xdotool imagemagick ffmpeg python3 poppler-utils
  # benchmarks
  libbenchmark-dev
  # fuzzing (scripts/fuzz.sh): clang with libFuzzer and the sanitizer runtimes, llvm-symbolizer
  clang llvm libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "setup: missing packages (${missing[*]}) and not root; install them or run as root" >&2
    exit 1
  fi
fi

export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"

lists_present() { compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null; }
all_known() {
  local p
  for p in "${missing[@]}"; do
    apt-cache show "$p" >/dev/null 2>&1 || return 1
  done
}

if ! lists_present || ! all_known; then
  $SUDO apt-get update -q
fi

if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  # A stale package list is the usual cause: refresh once and retry.
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
