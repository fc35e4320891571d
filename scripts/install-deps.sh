#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, and
# only those that are missing; runs apt-get update only when one is missing.
set -euo pipefail

PACKAGES=(cmake g++ make libgtest-dev libsqlite3-dev python3-pytest mingw-w64
          wine wine64 xvfb xdotool libbenchmark-dev
          clang libclang-rt-14-dev)  # make sanitize, make fuzz

installed() {
  dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed'
}

missing=()
for package in "${PACKAGES[@]}"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing missing packages: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    echo "install-deps: need root (or sudo) to install ${missing[*]}" >&2
    exit 1
  }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}" </dev/null
