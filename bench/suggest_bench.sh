#!/usr/bin/env bash
# velmo suggest against FFmpeg's cropdetect on captures from capturegen, scored against the capture
# model's truth (each clip rendered with and without its damage), per kind of damage and trap, on
# the tuning seeds and on the reporting seeds apart, then the time.
#
#   bash bench/suggest_bench.sh [--quick] [--keep DIR] [--tuning "1 2"] [--reporting "21 22"] [--only NAME] [--no-time]
#
# The cases are bench/suggest_cases.txt; each seed draws every case's widths, size, levels, noise,
# blur and jitter anew, and its encoding: x264 (8- and 10-bit, 4:2:0 and 4:2:2), MPEG-2
# (interlaced where the clip is), DV (PAL 4:2:0, NTSC 4:1:1, at 720 wide), FFV1 (10-bit) or MJPEG.
# Safe: every margin at least the ideal; tight: none more than one above. --quick: 30 frames a clip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=100
keep=
tuning="1 2"
reporting="21 22"
only=
timing=true
while [ $# -gt 0 ]; do
    case $1 in
        --quick) frames=30 ;;
        --keep) keep=$2; shift ;;
        --tuning) tuning=$2; shift ;;
        --reporting) reporting=$2; shift ;;
        --only) only=$2; shift ;;
        --no-time) timing=false ;;
        *) echo "usage: bash bench/suggest_bench.sh [--quick] [--keep DIR] [--tuning SEEDS] [--reporting SEEDS] [--only NAME] [--no-time]" >&2; exit 2 ;;
    esac
    shift
done

bash "$root/tools/install-deps.sh" --native
build=$root/build/native
cmake --preset native -S "$root" >/dev/null
cmake --build --preset native --target velmo capturegen >/dev/null
velmo=$build/velmo/velmo
capturegen=$build/tools/capturegen/capturegen
# shellcheck source=bench/suggest_scoring.sh
source "$root/bench/suggest_scoring.sh"
if [ -n "$keep" ]; then work=$keep; mkdir -p "$work"; else work=$(mktemp -d); trap 'rm -rf "$work"' EXIT; fi

mapfile -t cases < <(grep -v '^#' "$root/bench/suggest_cases.txt" | grep -v '^$')

# encode SEED SIZE RAW CLIP INTERLACED DEPTH: picks the encoding from the seed; prints its name.
encode() {
    local seed=$1 size=$2 raw=$3 clip=$4 interlaced=$5 depth=$6 in=yuv444p codec name rate=25
    [ "$depth" = 10 ] && in=yuv444p10le
    local choice=$((seed % 7))
    [ "${size%x*}" != 720 ] && [ $choice -eq 4 ] && choice=0  # DV is 720 wide only
    case $choice in
        0) name=x264-420; codec=(-c:v libx264 -preset veryfast -crf 18 -g 25 -pix_fmt yuv420p) ;;
        1) name=x264-422-10bit; codec=(-c:v libx264 -preset veryfast -crf 16 -g 25 -pix_fmt yuv422p10le) ;;
        2) name=mpeg2-420; codec=(-c:v mpeg2video -q:v 3 -g 12 -pix_fmt yuv420p) ;;
        3) name=mpeg2-422; codec=(-c:v mpeg2video -q:v 3 -g 12 -pix_fmt yuv422p) ;;
        4) name=dv; if [ "${size#*x}" = 576 ]; then codec=(-c:v dvvideo -pix_fmt yuv420p); else codec=(-c:v dvvideo -pix_fmt yuv411p); rate=30000/1001; fi ;;
        5) name=ffv1-10bit; codec=(-c:v ffv1 -pix_fmt yuv422p10le) ;;
        6) name=mjpeg; codec=(-c:v mjpeg -q:v 3 -pix_fmt yuvj422p) ;;
    esac
    if $interlaced; then case $name in x264*) codec+=(-flags +ildct) ;; mpeg2*) codec+=(-flags +ildct+ilme) ;; esac; fi
    [ "$name" = dv ] && [ "$size" != 720x576 ] && [ "$size" != 720x480 ] && { name=x264-420; codec=(-c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p); }
    ffmpeg -nostdin -hide_banner -loglevel error -y -f rawvideo -pix_fmt "$in" -s "$size" -r "$rate" -i "$raw" "${codec[@]}" "$clip"
    echo "$name"
}

run_case() { # SEED INDEX
    local seed=$1 index=$2 entry kind name recipe sizes size depth=8 interlaced=false
    entry=${cases[$index]}
    IFS='|' read -r kind name recipe sizes <<<"$entry"
    [ -z "$only" ] || [[ $name == *"$only"* ]] || return 0
    IFS=, read -r -a list <<<"$sizes"
    size=${list[$(((seed * 31 + index) % ${#list[@]}))]}
    [ $(((seed + index) % 3)) -eq 0 ] && depth=10
    [[ $recipe == *interlaced* ]] && interlaced=true
    local n=$frames
    [ "${size%x*}" -gt 1000 ] && n=$((frames / 5))
    local tag=$work/s$seed-$name clip encoding ideal suggested cropped line
    clip=$tag.mkv
    if [ ! -f "$clip" ]; then
        "$capturegen" --size "$size" --frames "$n" --seed $((seed * 1000 + index)) --depth "$depth" --case "$recipe" \
            --ideal "$tag.ideal" >"$tag.yuv"
        encode $((seed + index)) "$size" "$tag.yuv" "$clip" "$interlaced" "$depth" >"$tag.encoding"
        rm -f "$tag.yuv"
    fi
    encoding=$(cat "$tag.encoding")
    ideal=$(head -n 1 "$tag.ideal")
    if line=$("$velmo" suggest "$clip" 2>"$tag.report"); then suggested=$(marginsOf "$line"); else suggested="- - - -"; fi
    cropped=$(cropdetectMargins "$clip" "$size")
    printf '%-5s %-15s %-18s %-9s %-15s ideal %-12s velmo %-12s %s  cropdetect %-12s %s\n' "$seed" "$kind" "$name" "$size" \
        "$encoding" "$ideal" "$suggested" "$(score "$suggested" "$ideal")" "$cropped" "$(score "$cropped" "$ideal")"
    [ -n "$keep" ] || rm -f "$clip"
}

perKind() { # RESULTS TITLE
    echo
    echo "$2"
    awk '{ k = $2; n[k]++; vs[k] += $(NF-8); vt[k] += ($(NF-8) && $(NF-7)); cs[k] += $(NF-1); ct[k] += ($(NF-1) && $NF) }
        END { printf "%-16s %5s  %-22s %-22s\n", "kind", "cases", "velmo safe / tight", "cropdetect safe / tight";
              if (length(n) == 0) exit;
              for (k in n) { N += n[k]; VS += vs[k]; VT += vt[k]; CS += cs[k]; CT += ct[k];
                  printf "%-16s %5d  %3d%% / %3d%%            %3d%% / %3d%%\n", k, n[k], 100*vs[k]/n[k], 100*vt[k]/n[k], 100*cs[k]/n[k], 100*ct[k]/n[k] }
              printf "%-16s %5d  %3d%% / %3d%%            %3d%% / %3d%%\n", "all", N, 100*VS/N, 100*VT/N, 100*CS/N, 100*CT/N }' "$1"
}

for group in tuning reporting; do
    seeds=${!group}
    results=$work/$group.txt
    : >"$results"
    echo "== $group seeds: $seeds (${#cases[@]} cases each, two at a time) =="
    jobs=()
    for seed in $seeds; do
        for index in "${!cases[@]}"; do
            run_case "$seed" "$index" >"$work/r-$seed-$index.txt" &
            jobs+=($!)
            if [ ${#jobs[@]} -ge 2 ]; then wait "${jobs[@]}"; jobs=(); fi
        done
    done
    wait
    for seed in $seeds; do for index in "${!cases[@]}"; do cat "$work/r-$seed-$index.txt"; done; done | tee "$results"
    perKind "$results" "Per kind, $group seeds ($seeds):"
done

$timing || exit 0
echo
echo "Time of velmo suggest (default 100 frames), 720x576 x264 4:2:0, best of three:"
recipe="up=bar:6,vbi:4;left=bar:12,ragged:4;right=bar:9,ragged:3;down=bar:4,hs:7;chain"
for count in 100 1000; do
    clip=$work/time-$count.mkv
    [ -f "$clip" ] || "$capturegen" --size 720x576 --frames "$count" --seed 7 --case "$recipe" --ideal "$work/time.ideal" |
        ffmpeg -nostdin -hide_banner -loglevel error -y -f rawvideo -pix_fmt yuv444p -s 720x576 -r 25 -i - \
            -c:v libx264 -preset veryfast -crf 18 -g 25 -pix_fmt yuv420p "$clip"
    best=
    for run in 1 2 3; do
        start=$(date +%s.%N)
        "$velmo" suggest "$clip" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "  $((count / 25)) s clip ($count frames): ${best} s"
done
