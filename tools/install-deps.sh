#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests and the demo need. Quick when they are
# all there already; otherwise needs root (or sudo). Two steps: everything that is not 32-bit, then
# 32-bit Wine, only where the kernel can start 32-bit programs (elsewhere it could not run anyway),
# so that a broken i386 index on the mirror costs 32-bit Wine at most, never the rest.
#   install-deps.sh            everything
#   install-deps.sh --native   only the native build (velmo, velmo.so) and the hosts that load velmo.so
# Exit status: 0 all installed; 1 a package other than 32-bit Wine could not be installed; 3 all but
# 32-bit Wine, which this machine could run but the mirror could not give (said in one line).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# The native build, FFmpeg's libraries and programs, and GStreamer and MLT (melt) with frei0r's
# header for velmo.so; the photographs that the suggest tests and benchmark pan across.
packages=(
    cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev libstb-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
    frei0r-plugins-dev ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
    gstreamer1.0-libav melt lomiri-wallpapers-16.04
)
wine32=false
if [ "${1:-}" != "--native" ]; then
    packages+=(clang clang-format llvm-14 libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb)
    "$here/runs-32bit" && wine32=true
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
$wine32 && ! installed wine32:i386 && need_wine32=true || need_wine32=false
[ ${#missing[@]} -eq 0 ] && ! $need_wine32 && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt() { DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "$@"; }

# A mirror that is being synchronised serves an index that fails its checksum for a minute or two;
# apt then keeps the old index and says so. Try again a few times before giving up.
# install_with_retries TRIES PACKAGE...
install_with_retries() {
    local tries=$1 attempt
    shift
    for attempt in $(seq "$tries"); do
        apt update -qq >/dev/null 2>&1 || true
        apt install -y -qq "$@" >/dev/null && return 0
        [ "$attempt" -lt "$tries" ] && { echo "apt-get install failed; trying again in $((attempt * 15)) s"; sleep $((attempt * 15)); }
    done
    return 1
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if ! install_with_retries 4 "${missing[@]}"; then
        echo "install-deps: could not install ${missing[*]}" >&2
        exit 1
    fi
fi
$need_wine32 || exit 0

# 32-bit Wine. When the mirror's i386 index of bookworm-security is broken, apt knows the i386
# libraries only in bookworm's own versions, while their amd64 copies may carry a security update;
# multi-arch copies must match, so nothing i386 installs. Pinned to bookworm, apt can take its
# signed i386 packages; each library whose amd64 copy is newer than any i386 one apt knows is then
# aligned to that version, named in one line, until the mirror serves the index again.
wine32_pinned() {
    local pinned=() round output name version
    for round in 1 2 3 4 5 6; do
        if output=$(apt install -s --no-install-recommends --allow-downgrades -t bookworm wine32:i386 "${pinned[@]}" 2>&1); then
            if [ ${#pinned[@]} -gt 0 ]; then
                echo "install-deps: the mirror's i386 index is broken; for 32-bit Wine these libraries go to" \
                    "bookworm's own versions on amd64 too (multi-arch copies must match): ${pinned[*]}"
            fi
            apt install -y -qq --no-install-recommends --allow-downgrades -t bookworm wine32:i386 "${pinned[@]}" \
                >/dev/null
            return
        fi
        local added=false
        for name in $(sed -n 's/.*Depends: \([^ ]*\):i386 .*not going to be installed.*/\1/p' <<<"$output" | sort -u); do
            version=$(apt-cache policy "$name:i386" | sed -n 's/^ *Candidate: //p')
            [ -n "$version" ] && [ "$version" != "(none)" ] || continue
            [[ " ${pinned[*]} " == *" $name:i386=$version "* ]] && continue
            pinned+=("$name:amd64=$version" "$name:i386=$version")
            added=true
        done
        $added || break
    done
    echo "$output" | grep -E '^E:|not going to be installed' | tail -n 3 >&2
    return 1
}

echo "Installing: wine32:i386"
dpkg --print-foreign-architectures | grep -qx i386 || "${sudo[@]}" dpkg --add-architecture i386
if install_with_retries 2 --no-install-recommends wine32:i386; then exit 0; fi
echo "32-bit Wine did not install from the mirror's current indexes; trying bookworm's own release (-t bookworm)"
if wine32_pinned; then exit 0; fi
echo "install-deps: could not install 32-bit Wine (wine32:i386), though this kernel starts 32-bit programs:" \
    "the package mirror did not give it (above)" >&2
exit 3
