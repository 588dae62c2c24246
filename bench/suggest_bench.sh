#!/usr/bin/env bash
# velmo suggest against FFmpeg's cropdetect on synthetic captures with known damage.
#
#   bash bench/suggest_bench.sh [--quick] [--keep DIR]
#
# --quick runs the first dozen cases only; --keep DIR keeps the clips there and reuses those already
# there (the same cases and seeds make the same clips).
#
# capturegen pans over the photographs of Debian's lomiri-wallpapers-16.04 and damages what lies
# outside a known clean rectangle (overscan, ragged edges, blanking stripes, head switching, black
# and half-black top lines), or sets a trap (dark scenes, a night sky, a black jacket at an edge,
# scene cuts, interlacing, an off-centre clean picture). Each clip is encoded by FFmpeg at PAL or
# NTSC size, 4:2:0 or 4:2:2, with x264 or MPEG-2. Both detectors' margins are scored against the
# rectangle: safe = every margin >= the ideal, tight = every margin <= the ideal + 1. Then the time
# of velmo suggest on a 10 s clip and on one ten times longer, in the same run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=false
keep=
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=true ;;
        --keep) keep=$2; shift ;;
        *) echo "usage: bash bench/suggest_bench.sh [--quick] [--keep DIR]" >&2; exit 2 ;;
    esac
    shift
done

bash "$root/tools/install-deps.sh"
build=$root/build/native
cmake --preset native -S "$root" >/dev/null
cmake --build --preset native --target velmo capturegen >/dev/null
velmo=$build/velmo/velmo
capturegen=$build/tools/capturegen/capturegen
# shellcheck source=bench/suggest_scoring.sh
source "$root/bench/suggest_scoring.sh"
photos=(/usr/share/backgrounds/*_by_*.jpg)

if [ -n "$keep" ]; then work=$keep; mkdir -p "$work"; else work=$(mktemp -d); trap 'rm -rf "$work"' EXIT; fi

# name | case | size | encoding
cases=()
add() { cases+=("$1|$2|$3|$4"); }
sizes=(720x576 720x480)
encodings=(x264-420 mpeg2-422 x264-422 mpeg2-420)
n=0
pick() { # a size and an encoding that cycle through the cases
    size=${sizes[$((n % 2))]}
    encoding=${encodings[$(((n / 2) % 4))]}
    n=$((n + 1))
}
for side in up left right down; do
    for layers in bar:4 bar:17 bar:38 ragged:5 bar:6,ragged:3 bar:9,ragged:6 stripe:1 bar:7,stripe:2 bar:3,stripe:1,ragged:4 black:11; do
        pick; add "$side-$layers" "$side=$layers" "$size" "$encoding"
    done
done
for layers in hs:4 hs:8 bar:5,hs:6 bar:3,ragged:3,hs:5 hs:12; do
    pick; add "down-$layers" "down=$layers" "$size" "$encoding"
done
for layers in lines:2 half:1 lines:3,half:1 bar:8,lines:2 bar:4,half:2; do
    pick; add "up-$layers" "up=$layers" "$size" "$encoding"
done
combined=(
    "up=bar:6,lines:2;left=bar:12,ragged:4;right=bar:9,ragged:3;down=bar:4,hs:7"
    "up=half:2;left=ragged:5;right=stripe:1,ragged:3;down=hs:6"
    "up=bar:18;left=bar:22,stripe:1;right=bar:3;down=bar:10,hs:5"
    "up=lines:3;left=bar:8,ragged:6;down=hs:9"
    "left=bar:5,stripe:2,ragged:3;right=bar:14;down=hs:4"
    "up=bar:2,half:1;left=ragged:4;right=ragged:4;down=bar:6,hs:6"
    "up=bar:30;left=bar:40;right=bar:40;down=bar:30"
    "up=black:8;left=black:20;right=black:6;down=black:14"
    "up=black:3;left=black:1;right=black:25;down=black:2"
    "up=lines:2;left=bar:10,ragged:4;right=bar:10,ragged:4;down=bar:3,hs:6"
)
k=0
for recipe in "${combined[@]}"; do
    for variant in plain dark interlaced; do
        extra=
        [ "$variant" = dark ] && extra=";dark"
        [ "$variant" = interlaced ] && extra=";interlaced"
        pick; add "combined$k-$variant" "$recipe$extra" "$size" "$encoding"
    done
    k=$((k + 1))
done
traps=(
    "clean|"
    "clean-dark|dark"
    "clean-cuts|cuts"
    "clean-interlaced|interlaced"
    "clean-still|still"
    "sky|sky"
    "sky-dark|sky;dark"
    "sky-overscan|sky;up=bar:9;down=hs:5"
    "jacket-left|jacket=left"
    "jacket-right|jacket=right"
    "jacket-up|jacket=up"
    "jacket-down|jacket=down"
    "jacket-left-overscan|jacket=left;left=bar:12,ragged:3"
    "jacket-right-overscan|jacket=right;right=bar:8"
    "dark-overscan|dark;left=bar:10;right=bar:6;up=bar:4;down=hs:6"
    "cuts-overscan|cuts;left=bar:12,ragged:4;down=hs:5"
    "interlaced-hs|interlaced;down=hs:6;up=lines:2"
    "still-overscan|still;left=bar:9;up=bar:5"
)
for trap in "${traps[@]}"; do
    pick; add "${trap%%|*}" "${trap#*|}" "$size" "$encoding"
done
$quick && cases=("${cases[@]:0:12}")

encode() { # encoding size raw-in clip-out interlaced
    local encoding=$1 size=$2 input=$3 output=$4 interlaced=$5 pixfmt codec
    case $encoding in
        *-420) pixfmt=yuv420p ;;
        *-422) pixfmt=yuv422p ;;
    esac
    case $encoding in
        x264-*) codec=(-c:v libx264 -preset veryfast -crf 18 -g 25) ;;
        mpeg2-*) codec=(-c:v mpeg2video -q:v 3 -g 12) ;;
    esac
    if $interlaced; then
        case $encoding in x264-*) codec+=(-flags +ildct) ;; mpeg2-*) codec+=(-flags +ildct+ilme) ;; esac
    fi
    ffmpeg -nostdin -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr0 -s "$size" -r 25 -i "$input" \
        "${codec[@]}" -pix_fmt "$pixfmt" "$output"
}

run_case() { # index
    local entry=${cases[$1]} name recipe size encoding interlaced=false
    IFS='|' read -r name recipe size encoding <<<"$entry"
    [[ $recipe == *interlaced* ]] && interlaced=true
    local raw=$work/$name.bgr0 clip=$work/$name.mkv ideal suggested line
    if [ ! -f "$clip" ] || [ ! -f "$work/$name.ideal" ]; then
        "$capturegen" --size "$size" --frames 100 --seed $((1000 + $1)) --case "$recipe" --ideal "$work/$name.ideal" \
            "${photos[@]}" >"$raw"
        encode "$encoding" "$size" "$raw" "$clip" "$interlaced"
        rm -f "$raw"
    fi
    ideal=$(cat "$work/$name.ideal")
    if line=$("$velmo" suggest "$clip" 2>"$work/$name.report"); then
        suggested=$(marginsOf "$line")
    else
        suggested="- - - -"
    fi
    local cropped
    cropped=$(cropdetectMargins "$clip" "$size")
    printf '%-34s %-9s %-10s ideal %-12s velmo %-12s %s  cropdetect %-12s %s\n' "$name" "$size" "$encoding" \
        "$ideal" "$suggested" "$(score "$suggested" "$ideal")" "$cropped" "$(score "$cropped" "$ideal")"
    [ -n "$keep" ] || rm -f "$clip"
}

results=$work/results.txt
: >"$results"
echo "Running ${#cases[@]} cases (two at a time)..."
for index in "${!cases[@]}"; do
    run_case "$index" >"$work/case-$index.txt" &
    if (((index + 1) % 2 == 0)); then wait; fi
done
wait
for index in "${!cases[@]}"; do cat "$work/case-$index.txt"; done | tee "$results"

summarise "$results"

$quick && exit 0
echo
echo "Time of velmo suggest (default 50 frames), 720x576 x264 4:2:0:"
recipe="up=bar:6,lines:2;left=bar:12,ragged:4;right=bar:9,ragged:3;down=bar:4,hs:7"
for frames in 250 2500; do
    [ -f "$work/time-$frames.mkv" ] && continue
    "$capturegen" --size 720x576 --frames "$frames" --seed 7 --case "$recipe" --ideal "$work/time.ideal" "${photos[@]}" |
        ffmpeg -nostdin -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgr0 -s 720x576 -r 25 -i - \
            -c:v libx264 -preset veryfast -crf 18 -g 25 -pix_fmt yuv420p "$work/time-$frames.mkv"
done
for frames in 250 2500; do
    best=
    for run in 1 2 3; do
        start=$(date +%s.%N)
        "$velmo" suggest "$work/time-$frames.mkv" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "  $((frames / 25)) s clip ($frames frames): ${best} s (best of three)"
done
