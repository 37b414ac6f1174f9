#!/usr/bin/env bash
# Installs the Debian packages Vantorra needs to build, test and run, when they are missing
# (xvfb and xauth: the desktop application's screenshot test runs under a virtual X server).
# Run as root (or with sudo available). Safe to run again: installed packages are skipped.
#   scripts/install-deps.sh          what the build and the tests need
#   scripts/install-deps.sh --fuzz   also clang and its fuzzer runtime, for tests/fuzz
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libjpeg62-turbo-dev libexif-dev libpng-dev libtiff-dev libheif-dev libexiv2-dev libeigen3-dev zlib1g-dev libboost-graph-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libcli11-dev
  xvfb xauth
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Missing packages: ${missing[*]} (run as root to install)" >&2; exit 1; }
  sudo=sudo
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
