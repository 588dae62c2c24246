#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests and the demo need. Quick when they are
# all there already; otherwise needs root (or sudo).
set -euo pipefail

packages=(
    cmake ninja-build g++ clang llvm-14 libclang-rt-14-dev
    googletest libgtest-dev libbenchmark-dev libstb-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
