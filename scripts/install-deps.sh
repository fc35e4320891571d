#!/usr/bin/env bash
# Installs the Debian packages that a purpose needs, and only those that are
# missing; runs apt-get update only when one is missing.
#
#   install-deps.sh        everything: both builds, the packages, every test
#   install-deps.sh demo   the native build of zebcfg, zebreg and zebinstall
set -euo pipefail

# The native build of the tools (make demo).
DEMO_PACKAGES=(cmake g++ make libsqlite3-dev)
# The Windows build, the unit and end-to-end tests (Wine, a display for the
# dialog tests), the sanitizer and fuzz builds and the packages.
FULL_PACKAGES=("${DEMO_PACKAGES[@]}" libgtest-dev python3-pytest mingw-w64
               wine wine64 xvfb xdotool
               clang libclang-rt-14-dev  # make sanitize, make fuzz
               # make package: the Debian package's dependencies and check,
               # the MSI, signing (and the test's throwaway certificate)
               dpkg-dev lintian wixl msitools osslsigncode openssl
               python3-jsonschema)  # the DSC manifests against DSC's schema

case ${1:-full} in
  demo) PACKAGES=("${DEMO_PACKAGES[@]}") ;;
  full) PACKAGES=("${FULL_PACKAGES[@]}") ;;
  *) echo "usage: install-deps.sh [demo|full]" >&2; exit 2 ;;
esac

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
