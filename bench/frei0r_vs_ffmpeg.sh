#!/usr/bin/env bash
# velmo.so inside FFmpeg against the equivalent chain of FFmpeg's own filters (bench/ffmpeg_chain.sh),
# one FFmpeg process per side on the same raw 1920x1080 bgra input, Config(3,5,7,9,1):
#   1. the two give identical output (checked on every frame of the input, and for a second setting);
#   2. frames per second for each, and what each adds over -vf null on the same input.
# Runs are paired and interleaved: each round times null, the plug-in and the chain back to back, in
# an order that rotates from round to round, so the shared machine's changing speed falls on all
# three alike; the figures are medians over the rounds of each round's own ratios.
#
#   bash bench/frei0r_vs_ffmpeg.sh [ROUNDS [FRAMES]]      (default 7 rounds of 300 frames; 0 rounds:
#                                                        only the check of identical output)
#
# Targets: the plug-in at least 2.5 times the chain's frames per second, and its added time at most a
# fifth of the chain's. Exits 1 only when the outputs differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/ffmpeg_chain.sh"
rounds=${1:-7}
frames=${2:-300}
w=1920 h=1080
distinct=10 # frames in the input file; FFmpeg loops over it

command -v ffmpeg >/dev/null || bash "$root/tools/install-deps.sh" --native
plugin=$root/build/native/frei0r/velmo.so
if [ ! -f "$plugin" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build --preset native --target velmo_frei0r >/dev/null
fi
export FREI0R_PATH=$root/build/native/frei0r

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input=$work/input.bgra
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "testsrc2=size=${w}x${h}:rate=25" -frames:v $distinct \
    -pix_fmt bgra -f rawvideo "$input"

# FILTER [LOOPS]: the filter over the input, LOOPS times through it, output discarded or hashed.
run() {
    ffmpeg -nostdin -hide_banner -loglevel error -stream_loop "${2:-0}" -f rawvideo -pix_fmt bgra -s ${w}x$h \
        -i "$input" -vf "$1" "${@:3}"
}

status=0
for settings in "3 5 7 9" "12 2 9 4"; do
    read -r up left right down <<<"$settings"
    velmo_hash=$(run "frei0r=velmo:$up|$left|$right|$down|y" 0 -f framemd5 -pix_fmt bgra - | grep -v '^#')
    chain_hash=$(run "$(ffmpeg_chain $w $h $up $left $right $down bgra)" 0 -f framemd5 -pix_fmt bgra - | grep -v '^#')
    if [ -n "$velmo_hash" ] && [ "$velmo_hash" = "$chain_hash" ]; then
        echo "Config($up,$left,$right,$down,1): velmo.so and the FFmpeg chain give identical frames ($distinct of $distinct)"
    else
        echo "Config($up,$left,$right,$down,1): OUTPUTS DIFFER"
        status=1
    fi
done

[ "$rounds" -gt 0 ] || exit $status

declare -A filters=(
    [null]=null
    [velmo]="frei0r=velmo:3|5|7|9|y"
    [chain]=$(ffmpeg_chain $w $h 3 5 7 9 bgra)
)
loops=$(((frames + distinct - 1) / distinct - 1))
frames=$(((loops + 1) * distinct))
seconds() {
    local start end
    start=$(date +%s.%N)
    run "${filters[$1]}" "$loops" -f null -
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

run null 0 -f null - # the input into the page cache
orders=("null velmo chain" "velmo chain null" "chain null velmo")
declare -a t_null t_velmo t_chain
for ((r = 0; r < rounds; r++)); do
    for side in ${orders[r % 3]}; do
        t=$(seconds "$side")
        eval "t_$side[$r]=$t"
    done
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
per_round() { # EXPRESSION in n, v, c (seconds of null, velmo, chain) for each round
    for ((r = 0; r < rounds; r++)); do
        awk -v n="${t_null[r]}" -v v="${t_velmo[r]}" -v c="${t_chain[r]}" "BEGIN { print $1 }"
    done
}
fps() { median $(per_round "$frames / $1"); }
ms_added() { median $(per_round "1000 * ($1 - n) / $frames"); }

speed_ratio=$(median $(per_round "c / v"))
added_ratio=$(median $(per_round "(v - n) / (c - n)"))
printf '%d rounds of %d frames, %dx%d bgra, Config(3,5,7,9,1); medians over the rounds:\n' "$rounds" "$frames" $w $h
printf '  -vf null                %7.1f frames/s\n' "$(fps n)"
printf '  -vf frei0r=velmo        %7.1f frames/s   adds %5.2f ms a frame\n' "$(fps v)" "$(ms_added v)"
printf '  FFmpeg chain            %7.1f frames/s   adds %5.2f ms a frame\n' "$(fps c)" "$(ms_added c)"
printf '  velmo.so / chain, frames per second   %5.2fx  (target >= 2.5)\n' "$speed_ratio"
printf '  velmo.so added time / chain added time %5.2f  (target <= 0.20)\n' "$added_ratio"
exit $status
