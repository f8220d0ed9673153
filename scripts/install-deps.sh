#!/usr/bin/env bash
# Installs every Debian package DITA needs to build, test, benchmark and take screenshots.
# Safe to run again: apt-get skips what is already installed. Run it as it stands, as root or
# as a user: it asks for root rights (through sudo) only when something is missing, so a root
# shell on a fresh Debian without sudo works too.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev libgl-dev
  portaudio19-dev libsndfile1-dev libsamplerate0-dev libfftw3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  xvfb xauth pulseaudio pulseaudio-utils alsa-utils libasound2-plugins
  ebook2cw sox libsox-fmt-all
  python3
  libhamlib-dev libhamlib-utils
  libsoapysdr-dev soapysdr-tools soapysdr-module-audio
  dpkg-dev file lintian appstream desktop-file-utils
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "install-deps: these packages are missing: ${missing[*]}" >&2
      echo "install-deps: installing them needs root: run this script as root (su -c $0)" >&2
      exit 1
    fi
    SUDO=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "install-deps: all packages present"
