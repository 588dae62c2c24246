#!/usr/bin/env bash
# The frame reader's sampling time, as velmo suggest samples (100 frames, bench/sample_frames), on
# 720 x 576 clips of the codecs captures come in, and on one-hour files beside clips of 100 s of the
# same kind: the time must not grow with the length. Then the largest memory (maximum resident set)
# of sampling an 8192 x 8192 stream without a length.
#
#   bash bench/reader_bench.sh [--rounds N] [--keep DIR]
#
# Every file is timed once per round, in an order that rotates from round to round, and the median
# of the rounds is reported (the machine is shared: medians of interleaved runs, not one run each).
# --keep DIR keeps the files there and reuses those already made.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=5
keep=
while [ $# -gt 0 ]; do
    case $1 in
        --rounds) rounds=$2; shift ;;
        --keep) keep=$2; shift ;;
        *) echo "usage: bash bench/reader_bench.sh [--rounds N] [--keep DIR]" >&2; exit 2 ;;
    esac
    shift
done

bash "$root/tools/install-deps.sh" --native
cmake --preset native -S "$root" >/dev/null
cmake --build --preset native --target sample_frames >/dev/null
sampler=$root/build/native/bench/sample_frames
if [ -n "$keep" ]; then work=$keep; mkdir -p "$work"; else work=$(mktemp -d); trap 'rm -rf "$work"' EXIT; fi

# make NAME FFMPEG-ARGUMENTS...: the file, unless --keep already holds it.
make() {
    local name=$1
    shift
    # (Copying MPEG-2 into a program stream warns of buffer underflows on every packet: only a
    # fatal error is shown.)
    [ -s "$work/$name" ] || ffmpeg -nostdin -loglevel fatal -y "$@" "$work/$name"
}
pattern() { echo "-f lavfi -i testsrc2=size=720x576:rate=25:duration=$1"; }

echo "Making the clips (720 x 576, 25 frames/s) in $work"
# shellcheck disable=SC2046
{
    make ffv1.mkv $(pattern 60) -c:v ffv1 -level 3 -slices 4 -pix_fmt yuv422p
    make dv.dv $(pattern 60) -vf setfield=bff -c:v dvvideo -pix_fmt yuv420p
    make mjpeg.avi $(pattern 60) -c:v mjpeg -q:v 3 -pix_fmt yuvj422p
    make mpeg2-100s.mpg $(pattern 100) -c:v mpeg2video -q:v 3 -g 12 -pix_fmt yuv420p
    make h264-gop250-100s.mkv $(pattern 100) -c:v libx264 -preset veryfast -g 250 -pix_fmt yuv420p
    make h264-gop250-100s.ts -i "$work/h264-gop250-100s.mkv" -c copy
    make mpeg2-100s.ts -i "$work/mpeg2-100s.mpg" -c copy
    # One hour by repeating the 100 s clips without decoding them: 36 times over.
    make h264-gop250-1h.mkv -stream_loop 35 -i "$work/h264-gop250-100s.mkv" -c copy
    make mpeg2-1h.mpg -stream_loop 35 -i "$work/mpeg2-100s.mpg" -c copy
    make mpeg2-1h.ts -stream_loop 35 -i "$work/mpeg2-100s.mpg" -c copy
}
files=(ffv1.mkv dv.dv mjpeg.avi mpeg2-100s.mpg mpeg2-1h.mpg mpeg2-100s.ts mpeg2-1h.ts
    h264-gop250-100s.mkv h264-gop250-1h.mkv h264-gop250-100s.ts)

declare -A times work_done
for round in $(seq "$rounds"); do
    count=${#files[@]}
    for k in $(seq 0 $((count - 1))); do
        file=${files[$(((k + round) % count))]}
        line=$("$sampler" "$work/$file" --frames 100 --runs 1)
        times[$file]+="$(sed -n 's/.*best of 1: \([0-9.]*\) s$/\1/p' <<<"$line") "
        work_done[$file]=$(sed -n 's/^[^:]*: \(.*\), best of.*/\1/p' <<<"$line")
    done
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '\n%-24s %8s  %s\n' "file" "median s" "samples decoded of asked, how"
for file in "${files[@]}"; do
    printf '%-24s %8s  %s\n' "$file" "$(median "${times[$file]}")" "${work_done[$file]}"
done
for pair in "h264-gop250-1h.mkv h264-gop250-100s.mkv" "mpeg2-1h.mpg mpeg2-100s.mpg" "mpeg2-1h.ts mpeg2-100s.ts"; do
    read -r long short <<<"$pair"
    awk -v a="$(median "${times[$long]}")" -v b="$(median "${times[$short]}")" -v l="$long" -v s="$short" \
        'BEGIN { printf "%s / %s: %.2f\n", l, s, a / b }'
done

echo
echo "Memory: an 8192 x 8192 MJPEG stream of 8 frames without a length, 2 and 8 samples"
make large.mjpeg -f lavfi -i color=c=gray:size=8192x8192:rate=25 -frames:v 8 -c:v mjpeg -f mjpeg
for frames in 2 8; do
    echo "  --frames $frames: $("$sampler" "$work/large.mjpeg" --frames "$frames" --runs 1 | sed -n 's/^[^:]*: //p')"
done
