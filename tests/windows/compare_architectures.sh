#!/usr/bin/env bash
# The 32-bit and the 64-bit VELMO.VDF, each loaded by the vdfhost of its own architecture, must give
# the same pixels, summaries and script lines for the same pictures and settings, the outline mode
# ticked in the dialog included. Expects both Windows builds and the native test card tool; it uses
# the caller's Windows session (tools/test-all.sh starts one) or, run by hand, starts its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
velmo_root=$root
source "$root/tools/windows-session.sh"
work=$(mktemp -d)
trap 'velmo_stop_windows_session; rm -rf "$work"' EXIT
if ! velmo_runs_32bit; then
    echo "compare_architectures.sh: this kernel cannot start 32-bit programs, so the 32-bit plug-in cannot run here" >&2
    exit 1
fi
[ -n "${VELMO_WINE_SESSION:-}" ] || velmo_start_windows_session win32 win64
# A run opens the dialog at most, which vdfhost gives 60 s to appear.
run_limit=120

"$root/build/native/tools/testcard/testcard" "$work/card.png"
"$root/build/native/tools/testcard/testcard" "$work/odd.png" 37 33  # rows with a gap

settings=(
    "Config(1,1,1,1,0)" "Config(3,5,7,9,1)" "Config(3,5,7,9,0)" "Config(9,2,11,4,1)" "Config(40,-5,0,31,7)"
    "Config(-2147483648,2147483647,-2147483648,2147483647,-1)" "Config(1073741824,-1073741824,5,5,1)"
)

# run ARCH OUTPUT PICTURE VDFHOST-ARGUMENTS...: one vdfhost run, its printed text without file names.
run() {
    local arch=$1 output=$2 picture=$3 folder status=0
    shift 3
    case $arch in win32) folder=mingw-i686 ;; win64) folder=mingw-x86_64 ;; esac
    (cd "$root/build/$folder/plugin" &&
        VELMO_WINE_ARCH=$arch timeout -k 10 "$run_limit" "$root/tools/wine-run" vdfhost.exe VELMO.VDF "$@" \
            "$picture" "$output.bmp") >"$output.printed" || status=$?
    if [ "$status" -eq 124 ]; then
        echo "compare_architectures.sh: vdfhost.exe ($arch) did not finish within $run_limit s: $*" >&2
    fi
    [ "$status" -eq 0 ] || exit "$status"
    grep -v '^wrote:' "$output.printed" >"$output.txt"
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
