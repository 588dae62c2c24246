#!/usr/bin/env bash
# The README's example for each host, run as written on a short capture with sound (720x576, and
# 718x576 for the velmo stream route at a width frei0r cannot take), with velmo.so and velmo from the
# build, and velmo fix's on a capture with black overscan for its finder. Each command must appear in
# README.md word for word, succeed, and give a file with the capture's frames (and sound, where the
# example keeps it). The pixels themselves are host_tests.sh's business.
#   tests/frei0r/readme_examples.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export FREI0R_PATH=$build/frei0r
export GST_REGISTRY=$scratch/gst-registry.bin
export PATH=$build/velmo:$PATH
status=0
cd "$scratch"

# Two seconds of a capture as analogue ones come: lossless video and PCM sound in an AVI.
capture() {
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=$1:rate=25" \
        -f lavfi -i sine=frequency=440:sample_rate=48000 -t 2 -c:v huffyuv -c:a pcm_s16le "$2"
}

# The README with each command on one line: lines that end in "\\" or "|" go on in the next.
one_line() { sed -e ':a' -e '/[|\\]$/{N' -e 's/ *\\\n */ /' -e 's/|\n */| /' -e 'ba' -e '}' | tr -s ' '; }
readme=$(one_line <"$root/README.md")

# COMMAND OUTPUT STREAMS: runs the README's command and checks what it wrote.
example() {
    local command=$1 output=$2 streams=$3 found
    grep -qF -- "$command" <<<"$readme" || { echo "FAILED: the README does not show: $command"; status=1; }
    local try
    for try in 1 2 3; do
        rm -f "$output"
        if ! bash -c "set -o pipefail; $command" </dev/null >"$scratch/log" 2>&1; then
            echo "FAILED: $command"
            cat "$scratch/log"
            status=1
            return
        fi
        # melt 7.12 now and then exits 0 having written nothing, filter or not, on a busy machine:
        # said, and tried again twice at most.
        [[ $command != melt* ]] || [ -s "$output" ] || [ $try -eq 3 ] || { echo "note: melt wrote nothing (try $try), running it again"; continue; }
        break
    done
    found=$(ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames -of csv=p=0 "$output" |
        sort | xargs)
    if [ "$found" = "$streams" ]; then
        echo "ok      $output: $found"
    else
        echo "FAILED  $command: $output holds \"$found\", expected \"$streams\""
        status=1
    fi
}

capture 720x576 capture.avi
# Sound: two seconds of 48 kHz PCM, in the packets the AVI holds it in, copied as they are.
sound=$(ffprobe -v error -count_frames -select_streams a -show_entries stream=nb_read_frames -of csv=p=0 capture.avi)
example 'ffmpeg -i capture.avi -vf "frei0r=velmo:3|5|7|9|y" -c:a copy fixed.mkv' fixed.mkv "audio,$sound video,50"
example 'gst-launch-1.0 filesrc location=capture.avi ! decodebin ! videoconvert ! frei0r-filter-velmo config="Config(3,5,7,9,1)" ! videoconvert ! vp8enc ! webmmux ! filesink location=fixed.webm' \
    fixed.webm "video,50"
example 'melt capture.avi -attach frei0r.velmo config="Config(3,5,7,9,1)" -consumer avformat:fixed.mkv vcodec=libx264 acodec=aac' \
    fixed.mkv "audio,95 video,50"

example 'ffmpeg -i capture.avi -f rawvideo -pix_fmt yuv422p - | velmo stream --size 720x576 --pix-fmt yuv422p --config "Config(3,5,7,9,1)" | ffmpeg -f rawvideo -pix_fmt yuv422p -s 720x576 -r 25 -i - -i capture.avi -map 0:v -map 1:a -c:v ffv1 -c:a copy fixed.mkv' \
    fixed.mkv "audio,$sound video,50"

# A capture with black overscan for velmo fix to find, in Matroska.
ffmpeg -nostdin -hide_banner -loglevel error -y -i capture.avi -vf "crop=700:560,pad=720:576:12:6:black" \
    -c:v ffv1 -c:a copy capture.mkv
example 'velmo fix capture.mkv' capture.fixed.mkv "audio,$sound video,50"
example 'velmo fix capture.mkv -o master.mkv --config "Config(4,14,5,9,1)"' master.mkv "audio,$sound video,50"
example 'velmo fix capture.mkv -o access.mkv --codec libx264 --codec-option crf=18' access.mkv "audio,$sound video,50"

capture 718x576 capture.avi
example 'ffmpeg -i capture.avi -f rawvideo -pix_fmt yuv422p - | velmo stream --size 718x576 --pix-fmt yuv422p --config "Config(3,5,7,9,1)" | ffmpeg -f rawvideo -pix_fmt yuv422p -s 718x576 -r 25 -i - -i capture.avi -map 0:v -map 1:a -c:v ffv1 -c:a copy fixed-718.mkv' \
    fixed-718.mkv "audio,$sound video,50"
exit $status
