#!/usr/bin/env bash
# velmo stream against the equivalent FFmpeg filter chain on the same raw 1920x1080 frames, in one
# pixel format: checks that both give identical bytes, then times them.
#
#   bash bench/velmo_vs_ffmpeg.sh [PIX_FMT [ROUNDS [FRAMES]]]     (default bgr0, 7 rounds, 100 frames)
#
# PIX_FMT is bgr0 or bgra (velmo's 32-bit frames; the chain goes through planar RGB) or a planar
# format FFmpeg's fillborders takes (yuv422p10le, yuv420p, gray ...: the chain works in it directly;
# --pix-fmt for velmo). The settings, Config(3,5,9,7,1) and Config(9,13,5,1,1), shift by whole
# chroma samples, as crop and pad need to make the same move.
#
# Runs are paired: each round times velmo and the chain back to back, in an order that alternates
# from round to round, so the shared machine's changing speed falls on both alike; the figures are
# medians over the rounds, the ratio the median of each round's own ratio. Input from the page cache,
# output to /dev/null. Exits 1 only when the outputs differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/ffmpeg_chain.sh"
format=${1:-bgr0}
rounds=${2:-7}
frames=${3:-100}
w=1920
h=1080

command -v ffmpeg >/dev/null || bash "$root/tools/install-deps.sh" --native
velmo=$root/build/native/velmo/velmo
if [ ! -x "$velmo" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build --preset native --target velmo >/dev/null
fi

case $format in
bgr0 | bgra) work=gbrp velmo_format=() ;;
*) work=$format velmo_format=(--pix-fmt "$format") ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
input=$scratch/input.raw
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "testsrc2=size=${w}x${h}:rate=25" -frames:v "$frames" \
    -f rawvideo -pix_fmt "$format" "$input"

run_velmo() { "$velmo" stream --size "${w}x${h}" "${velmo_format[@]}" --config "Config($1,$2,$3,$4,1)" <"$input"; }
run_ffmpeg() {
    ffmpeg -nostdin -hide_banner -loglevel error -f rawvideo -pix_fmt "$format" -s "${w}x${h}" -i "$input" \
        -vf "$(ffmpeg_chain $w $h "$@" "$format" "$work")" -f rawvideo -pix_fmt "$format" -
}

status=0
for settings in "3 5 9 7" "9 13 5 1"; do
    # shellcheck disable=SC2086
    if cmp -s <(run_velmo $settings) <(run_ffmpeg $settings); then
        echo "Config(${settings// /,},1): velmo and FFmpeg give identical $format output"
    else
        echo "Config(${settings// /,},1): OUTPUTS DIFFER"
        status=1
    fi
done
[ "$rounds" -gt 0 ] || exit $status

seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
declare -a t_velmo t_ffmpeg
for ((r = 0; r < rounds; r++)); do
    if ((r % 2 == 0)); then
        t_velmo[r]=$(seconds run_velmo 3 5 9 7)
        t_ffmpeg[r]=$(seconds run_ffmpeg 3 5 9 7)
    else
        t_ffmpeg[r]=$(seconds run_ffmpeg 3 5 9 7)
        t_velmo[r]=$(seconds run_velmo 3 5 9 7)
    fi
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
per_round() { # EXPRESSION in v, f (seconds of velmo, of the chain) for each round
    for ((r = 0; r < rounds; r++)); do
        awk -v v="${t_velmo[r]}" -v f="${t_ffmpeg[r]}" "BEGIN { print $1 }"
    done
}
printf '%d rounds of %d frames of %dx%d %s, Config(3,5,9,7,1); medians over the rounds:\n' \
    "$rounds" "$frames" $w $h "$format"
printf '  velmo stream   %7.1f frames/s\n' "$(median $(per_round "$frames / v"))"
printf '  FFmpeg chain   %7.1f frames/s\n' "$(median $(per_round "$frames / f"))"
printf '  velmo / chain, frames per second  %5.2fx\n' "$(median $(per_round "f / v"))"
exit $status
