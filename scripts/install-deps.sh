#!/usr/bin/env bash
# Installs the Debian packages that building and testing brisko need (only what is missing).
set -euo pipefail

packages=(
  cmake ninja-build g++ libexpat1-dev libgtest-dev libgmock-dev googletest
  clang lld llvm fasm qemu-user binutils-multiarch
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev gcc-mingw-w64-i686 binutils-mingw-w64-i686 dpkg-dev
  wine64 xvfb xauth
)
if [ "${1:-}" = "--build-only" ]; then
  packages=(cmake ninja-build g++ libexpat1-dev libgtest-dev libgmock-dev googletest
            clang lld llvm fasm qemu-user binutils-multiarch)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
