#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests and the demo need. Quick when they are
# all there already; otherwise needs root (or sudo). 32-bit Wine is installed only where the kernel
# can start 32-bit programs: elsewhere it could not run anyway.
#   install-deps.sh            everything
#   install-deps.sh --native   only the native build (velmo, velmo.so) and the hosts that load velmo.so
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The native build, and FFmpeg, GStreamer and MLT (melt) with frei0r's header for velmo.so.
packages=(
    cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev libstb-dev
    frei0r-plugins-dev ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
    gstreamer1.0-libav melt lomiri-wallpapers-16.04
)
if [ "${1:-}" != "--native" ]; then
    packages+=(clang clang-format llvm-14 libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb)
    "$here/runs-32bit" && packages+=(wine32:i386)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
[[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386 &&
    "${sudo[@]}" dpkg --add-architecture i386
# A mirror that is being synchronised serves an index that fails its checksum for a minute or two;
# apt then keeps the old index and says so. Try again a few times before giving up.
for attempt in 1 2 3 4; do
    "${sudo[@]}" apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null && exit 0
    [ "$attempt" -lt 4 ] && { echo "apt-get install failed; trying again in $((attempt * 20)) s"; sleep $((attempt * 20)); }
done
echo "install-deps: could not install ${missing[*]}" >&2
exit 1
