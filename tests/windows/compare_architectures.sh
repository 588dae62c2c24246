#!/usr/bin/env bash
# The 32-bit and the 64-bit VELMO.VDF, each loaded by the vdfhost of its own architecture, must give
# the same pixels, summaries and script lines for the same pictures and settings, the outline mode
# ticked in the dialog included. Expects both Windows builds, the native test card tool and a
# running Windows session (a display for the dialog).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/build/native/tools/testcard/testcard" "$work/card.png"
"$root/build/native/tools/testcard/testcard" "$work/odd.png" 37 33  # rows with a gap

settings=(
    "Config(1,1,1,1,0)" "Config(3,5,7,9,1)" "Config(3,5,7,9,0)" "Config(9,2,11,4,1)" "Config(40,-5,0,31,7)"
    "Config(-2147483648,2147483647,-2147483648,2147483647,-1)" "Config(1073741824,-1073741824,5,5,1)"
)

# run ARCH OUTPUT PICTURE VDFHOST-ARGUMENTS...: one vdfhost run, its printed text without file names.
run() {
    local arch=$1 output=$2 picture=$3 folder
    shift 3
    case $arch in win32) folder=mingw-i686 ;; win64) folder=mingw-x86_64 ;; esac
    (cd "$root/build/$folder/plugin" &&
        VELMO_WINE_ARCH=$arch "$root/tools/wine-run" vdfhost.exe VELMO.VDF "$@" "$picture" "$output.bmp") |
        grep -v '^wrote:' >"$output.txt"
}

compared=0
differences=0
for picture in card odd; do
    for index in "${!settings[@]}"; do
        for mode in shift outline; do
            name="$picture-$index-$mode"
            arguments=(--script "${settings[$index]}")
            [ "$mode" = outline ] && arguments+=(--configure --do click:1006 --do ok)
            for arch in win32 win64; do run "$arch" "$work/$name-$arch" "$work/$picture.png" "${arguments[@]}"; done
            compared=$((compared + 1))
            if ! cmp -s "$work/$name-win32.bmp" "$work/$name-win64.bmp" ||
                ! cmp -s "$work/$name-win32.txt" "$work/$name-win64.txt"; then
                echo "DIFFERENT: $picture, ${settings[$index]}, $mode"
                diff "$work/$name-win32.txt" "$work/$name-win64.txt" || true
                differences=$((differences + 1))
            fi
        done
    done
done
echo "32-bit and 64-bit VELMO.VDF: $((compared - differences)) of $compared runs identical (pixels, summary, line)"
[ "$differences" -eq 0 ]
