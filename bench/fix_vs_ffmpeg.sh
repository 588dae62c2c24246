#!/usr/bin/env bash
# velmo fix against the ffmpeg program doing the same work, on a 720x576 4:2:2 interlaced capture and
# a 1920x1080 10-bit 4:2:2 one (FFV1 with 24-bit PCM, made here with noise, as captures have):
#   base     ffmpeg -i IN -map 0 -c copy -c:v ffv1 -level 3 -slicecrc 1 OUT   (the work without the filter)
#   velmo    velmo fix IN -o OUT --config LINE                                (the same, moved)
#   chain    the base with FFmpeg's own crop, pad and fillborders chain doing the same shift
#   finder   velmo fix IN -o OUT, the zone found in the same run
# Every side encodes with the same FFV1 settings (version 3, slice CRCs) and FFmpeg's automatic thread
# count. First the outputs are checked: velmo fix and the chain give identical frames, and the sound
# is the input's, packet for packet. Then the sides are timed in paired rounds whose order rotates, so
# the shared machine's changing speed falls on all of them alike; the figures are medians over the
# rounds of each round's own ratios.
#
#   bash bench/fix_vs_ffmpeg.sh [ROUNDS [SECONDS]]   (default 5 rounds, clips of 8 s and 4 s in HD; 0
#                                                     rounds: only the check of identical output, on
#                                                     clips of 5 frames)
#
# Targets: velmo fix adds at most 5 % to the base's wall time, and is not slower than the chain.
# Exits 1 only when the outputs differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/ffmpeg_chain.sh"
rounds=${1:-5}
seconds=${2:-8}
hd_seconds=$((seconds / 2 > 0 ? seconds / 2 : 1))
# The check alone needs a few frames only.
[ "$rounds" -gt 0 ] || seconds=0.2 hd_seconds=0.2

command -v ffmpeg >/dev/null || bash "$root/tools/install-deps.sh" --native
velmo=$root/build/native/velmo/velmo
if [ ! -x "$velmo" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build --preset native --target velmo >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Shifts of whole chroma samples (2 lines down, 4 pixels left), so that the chain moves 4:2:2 exactly.
up=4 left=14 right=6 down=8
line="Config($up,$left,$right,$down,1)"
ffv1=(-c:v ffv1 -level 3 -slicecrc 1)

# NAME SIZE PIXEL-FORMAT SECONDS: a capture-like clip, interlaced top field first.
make_clip() {
    local length=$4
    ffmpeg -nostdin -hide_banner -loglevel error -f lavfi \
        -i "testsrc2=size=$2:rate=25:duration=$length,noise=alls=10:allf=t,setfield=tff" \
        -f lavfi -i "aevalsrc=sin(440*2*PI*t)|sin(660*2*PI*t):s=48000:d=$length" \
        -pix_fmt "$3" "${ffv1[@]}" -c:a pcm_s24le "$work/$1.mkv"
}
make_clip sd 720x576 yuv422p "$seconds"
make_clip hd 1920x1080 yuv422p10le "$hd_seconds"

# SIDE CLIP: runs one side on a clip, output to the work folder.
run() {
    local in=$work/$2.mkv out=$work/$1-$2.mkv size format
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$in")
    format=$(ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 "$in")
    case $1 in
        base) ffmpeg -nostdin -hide_banner -loglevel error -y -i "$in" -map 0 -c copy "${ffv1[@]}" "$out" ;;
        chain)
            ffmpeg -nostdin -hide_banner -loglevel error -y -i "$in" -map 0 -c copy \
                -vf "$(ffmpeg_chain "${size%x*}" "${size#*x}" $up $left $right $down "$format" "$format")" "${ffv1[@]}" "$out"
            ;;
        velmo) "$velmo" fix "$in" -o "$out" --overwrite --config "$line" >/dev/null ;;
        finder) "$velmo" fix "$in" -o "$out" --overwrite >/dev/null 2>&1 ;;
    esac
}

# The frames of a file's video, and its sound's packets, each by checksum.
video_sums() { ffmpeg -nostdin -hide_banner -loglevel error -i "$1" -map 0:v -f framemd5 - | grep -v '^#' | cut -d, -f6; }
sound_sums() { ffprobe -v error -select_streams a -show_packets -show_data_hash MD5 -show_entries packet=data_hash -of csv=p=0 "$1"; }

status=0
for clip in sd hd; do
    run velmo $clip
    run chain $clip
    frames=$(video_sums "$work/velmo-$clip.mkv" | wc -l)
    if [ "$frames" -gt 0 ] && [ "$(video_sums "$work/velmo-$clip.mkv")" = "$(video_sums "$work/chain-$clip.mkv")" ]; then
        echo "$clip, $line: velmo fix and the FFmpeg chain give identical frames ($frames of $frames)"
    else
        echo "$clip, $line: FRAMES DIFFER"
        status=1
    fi
    if [ "$(sound_sums "$work/$clip.mkv")" = "$(sound_sums "$work/velmo-$clip.mkv")" ]; then
        echo "$clip: the sound is the input's, packet for packet"
    else
        echo "$clip: SOUND DIFFERS"
        status=1
    fi
done
[ "$rounds" -gt 0 ] || exit $status

seconds_of() {
    local start end
    start=$(date +%s.%N)
    run "$1" "$2"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

orders=("base velmo chain finder" "velmo chain finder base" "chain finder base velmo" "finder base velmo chain")
for clip in sd hd; do
    declare -a t_base=() t_velmo=() t_chain=() t_finder=()
    run base $clip # the input into the page cache
    for ((r = 0; r < rounds; r++)); do
        for side in ${orders[r % 4]}; do
            t=$(seconds_of "$side" $clip)
            eval "t_$side[$r]=$t"
        done
    done
    per_round() { # EXPRESSION in b, v, c, f (seconds of base, velmo, chain, finder) for each round
        for ((r = 0; r < rounds; r++)); do
            awk -v b="${t_base[r]}" -v v="${t_velmo[r]}" -v c="${t_chain[r]}" -v f="${t_finder[r]}" "BEGIN { print $1 }"
        done
    }
    frames=$(video_sums "$work/$clip.mkv" | wc -l)
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height,pix_fmt -of csv=s=x:p=0 "$work/$clip.mkv")
    printf '%s: %s, %d frames, %d rounds, medians:\n' "$clip" "$size" "$frames" "$rounds"
    printf '  base (ffmpeg, no filter)   %6.2f s\n' "$(median "${t_base[@]}")"
    printf '  velmo fix --config         %6.2f s   %+5.1f %% over the base  (target <= +5 %%)\n' \
        "$(median "${t_velmo[@]}")" "$(median $(per_round "100 * (v / b - 1)"))"
    printf '  FFmpeg chain               %6.2f s   velmo fix / chain %5.3f  (target <= 1)\n' \
        "$(median "${t_chain[@]}")" "$(median $(per_round "v / c"))"
    printf '  velmo fix, zone found      %6.2f s   the finder adds %5.2f s\n' \
        "$(median "${t_finder[@]}")" "$(median $(per_round "f - v"))"
done
exit $status
