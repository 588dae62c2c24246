#!/usr/bin/env bash
# velmo stream against the equivalent FFmpeg filter chain on the same raw 1920x1080 bgr0 frames:
# checks that both give identical bytes, then prints frames per second for each and their ratio.
#
#   bash bench/velmo_vs_ffmpeg.sh [FRAMES]
#
# The chain (crop, pad, fillborders smear and fixed) is bench/ffmpeg_chain.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/ffmpeg_chain.sh"
frames=${1:-100}
w=1920
h=1080

command -v ffmpeg >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ffmpeg >/dev/null
velmo=$root/build/native/velmo/velmo
if [ ! -x "$velmo" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build --preset native --target velmo >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input=$work/input.bgr0
ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=${w}x${h}:rate=25" -frames:v "$frames" \
    -f rawvideo -pix_fmt bgr0 "$input"

run_velmo() { "$velmo" stream --size "${w}x${h}" --config "Config($1,$2,$3,$4,1)" <"$input"; }
run_ffmpeg() {
    ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt bgr0 -s "${w}x${h}" -i "$input" \
        -vf "$(ffmpeg_chain $w $h "$@" bgr0)" -f rawvideo -pix_fmt bgr0 -
}

# Best of three wall-clock runs, in seconds.
best_time() {
    local best="" start end elapsed
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
        if [ -z "$best" ] || awk -v e="$elapsed" -v b="$best" 'BEGIN { exit !(e < b) }'; then best=$elapsed; fi
    done
    echo "$best"
}

status=0
for settings in "3 5 7 9" "12 2 9 4"; do
    # shellcheck disable=SC2086
    if cmp -s <(run_velmo $settings) <(run_ffmpeg $settings); then
        echo "Config(${settings// /,},1): velmo and FFmpeg give identical output"
    else
        echo "Config(${settings// /,},1): OUTPUTS DIFFER"
        status=1
    fi
done

velmo_seconds=$(best_time run_velmo 3 5 7 9)
ffmpeg_seconds=$(best_time run_ffmpeg 3 5 7 9)
velmo_fps=$(awk -v n="$frames" -v s="$velmo_seconds" 'BEGIN { print n / s }')
ffmpeg_fps=$(awk -v n="$frames" -v s="$ffmpeg_seconds" 'BEGIN { print n / s }')
printf '%d frames of %dx%d, Config(3,5,7,9,1), best of three:\n' "$frames" "$w" "$h"
printf '  velmo stream   %7.1f frames/s\n' "$velmo_fps"
printf '  FFmpeg chain   %7.1f frames/s\n' "$ffmpeg_fps"
printf '  ratio          %7.2fx\n' "$(awk -v a="$velmo_fps" -v b="$ffmpeg_fps" 'BEGIN { print a / b }')"
exit "$status"
