#!/usr/bin/env bash
# velmo.so in the three real hosts: FFmpeg (-vf frei0r=velmo), GStreamer (frei0r-filter-velmo in
# gst-launch-1.0) and MLT (frei0r.velmo in melt). Each case's frames go through the host and must
# equal the per-pixel reference for the settings written in the table (frame_check), and the host
# must report no error. Every host runs all its cases in one process. Then the host traps: FFmpeg's
# padded rows (which widths are safe, and the velmo stream route for the others) and MLT's slices.
#
#   tests/frei0r/host_tests.sh [BUILD_DIR]     (default build/native; needs velmo.so, velmo, frame_check)
set -euo pipefail
source "$(dirname "$0")/mlt_profile.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
check=$build/tests/frei0r/frame_check
velmo=$build/velmo/velmo
for file in "$build/frei0r/velmo.so" "$check" "$velmo"; do
    [ -e "$file" ] || { echo "host_tests: $file is missing; build the native preset first" >&2; exit 2; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export FREI0R_PATH=$build/frei0r
# A registry of its own, so GStreamer scans this velmo.so rather than trusting a cached one.
export GST_REGISTRY=$scratch/gst-registry.bin
status=0
fail() {
    echo "FAILED: $*"
    status=1
}

w=64 h=48 frames=3
input=$scratch/in.bgra
"$check" make $w $h $frames 13 >"$input"

# name # up left right down border show-frame, written out by hand # FFmpeg's parameters #
# melt's properties # GStreamer's properties (gst-launch-1.0 joins its words and reads them again, so
# a value with blanks keeps its own quotes). "-" where a host cannot express the case: GStreamer
# limits doubles to 0..1 and has no NaN (its users set the line), FFmpeg's graph syntax cannot
# carry the host's saved form with its brackets and semicolon.
cases=(
    "defaults       # 1 1 1 1 0 0                    #                     #                                   #"
    "shift-border   # 3 5 7 9 1 0                    # 3|5|7|9|y           # up=3 left=5 right=7 down=9 border=1 # config='Config(3,5,7,9,1)'"
    "shift          # 3 5 7 9 0 0                    # 3|5|7|9|n           # up=3 left=5 right=7 down=9        # config='Config(3,5,7,9,0)'"
    "odd-sums       # 4 2 9 7 1 0                    # 4|2|9|7|y           # up=4 left=2 right=9 down=7 border=1 # config='Config(4,2,9,7,1)'"
    "top-only       # 9 1 1 1 0 0                    # 9                   # up=9                              # config='Config(9,1,1,1,0)'"
    "outline        # 3 5 7 9 0 1                    # 3|5|7|9|n|y         # up=3 left=5 right=7 down=9 'show frame=1' # config='Config(3,5,7,9,0)' show-frame=true"
    "config-wins    # 3 5 7 9 1 0                    # 20|20|20|20|n|n|Config(3\\,5\\,7\\,9\\,1) # up=20 left=20 down=20 config='Config(3,5,7,9,1)' # up=0 left=0 down=0 config='Config(3,5,7,9,1)'"
    "saved-form     # 4 2 9 7 1 0                    # -                   # config='VirtualDub.video.filters.instance[0].Config(4, 2, 9, 7, 1);' # config='\"VirtualDub.video.filters.instance[0].Config(4, 2, 9, 7, 1);\"'"
    "negative       # -5 -3 2 4 1 0                  # -5|-3|2|4|y         # up=-5 left=-3 right=2 down=4 border=1 # config='Config(-5,-3,2,4,1)'"
    "huge           # 2147483647 -2147483648 3 3 1 0 # 1e30|-1e30|3|3|y    # up=1e30 left=-1e30 right=3 down=3 border=1 # config='Config(2147483647,-2147483648,3,3,1)'"
    "nan            # 1 1 7 9 1 0                    # nan|nan|7|9|y       # up=nan left=nan right=7 down=9 border=1 # -"
    "rounded        # 3 5 7 9 1 0                    # 2.5|4.6|6.5|9.49|y  # up=2.5 left=4.6 right=6.5 down=9.49 border=1 # -"
    "gst-doubles    # 1 0 1 0 1 0                    # -                   # -                                 # up=0.5 left=0.49 down=0 border=true"
    "bad-config     # 3 5 7 9 1 0                    # 3|5|7|9|y|n|Config(3\\,5) # up=3 left=5 right=7 down=9 border=1 config='Config(3,5)' # -"
    "gst-bad-config # 1 1 1 1 1 0                    # -                   # -                                 # border=true config='Config(3,5)'"
)
trim() { sed 's/^ *//; s/ *$//' <<<"$1"; }

# Runs each host's cases; fills $scratch/HOST.cases with frame_check lines.
ffmpeg_graph="" ffmpeg_maps=() melt_clips=() gst_branches=()
ffmpeg_count=0
: >"$scratch/ffmpeg.cases"
: >"$scratch/melt.cases"
: >"$scratch/gst.cases"
for row in "${cases[@]}"; do
    IFS='#' read -r name expected ffmpeg_params melt_props gst_props <<<"$row"
    name=$(trim "$name") expected=$(trim "$expected")
    ffmpeg_params=$(trim "$ffmpeg_params") melt_props=$(trim "$melt_props") gst_props=$(trim "$gst_props")
    if [ "$ffmpeg_params" != "-" ]; then
        ffmpeg_graph+="[s$ffmpeg_count]frei0r=velmo${ffmpeg_params:+:$ffmpeg_params}[o$ffmpeg_count];"
        ffmpeg_maps+=(-map "[o$ffmpeg_count]" -f rawvideo "$scratch/ffmpeg-$name.bgra")
        echo "ffmpeg:$name $scratch/ffmpeg-$name.bgra $expected same" >>"$scratch/ffmpeg.cases"
        ffmpeg_count=$((ffmpeg_count + 1))
    fi
    if [ "$melt_props" != "-" ]; then
        eval "props=($melt_props)"
        melt_clips+=("$scratch/in.mkv" -attach frei0r.velmo "${props[@]}")
        echo "melt:$name $scratch/melt-$name.bgra $expected same" >>"$scratch/melt.cases"
    fi
    if [ "$gst_props" != "-" ]; then
        eval "props=($gst_props)"
        gst_branches+=(t. ! queue ! frei0r-filter-velmo "${props[@]}" ! filesink location="$scratch/gst-$name.bgra")
        echo "gst:$name $scratch/gst-$name.bgra $expected same" >>"$scratch/gst.cases"
    fi
done

# MLT slices a frei0r filter when its threads property is set (0: as many slices as MLT_SLICES_COUNT
# or the CPUs; N: at most N), each slice a separate frame to the plug-in. Unset or 1, it runs whole.
for threads in unset 1 0 2; do
    props=(up=3 left=5 right=7 down=9 border=1)
    [ $threads != unset ] && props+=(threads=$threads)
    melt_clips+=("$scratch/in.mkv" -attach frei0r.velmo "${props[@]}")
    want=same
    case $threads in 0 | 2) want=differs ;; esac
    echo "melt:threads-$threads $scratch/melt-threads-$threads.bgra 3 5 7 9 1 0 $want" >>"$scratch/melt.cases"
done

# Host output on standard error, less the one report the bad lines must give and known notices.
host_errors() {
    grep -v -e '^velmo.so: bad settings line "Config(3,5)"' -e '^No LADSPA plugins were found!$' \
        -e '^Check your LADSPA_PATH environment variable.$' -e '^$' "$1" || true
}
check_reports() {
    local host=$1 log=$2 reports
    reports=$(grep -c '^velmo.so: bad settings line "Config(3,5)" at character 11: ' "$log" || true)
    [ "$reports" -eq 1 ] || fail "$host reported the bad line $reports times; once is right"
    [ -z "$(host_errors "$log")" ] || fail "$host reported: $(host_errors "$log")"
}

echo "FFmpeg $(ffmpeg -version | sed -n '1s/ffmpeg version \([^ ]*\).*/\1/p'): $ffmpeg_count cases"
split_outputs=$(for ((i = 0; i < ffmpeg_count; i++)); do printf '[s%d]' $i; done)
if ! ffmpeg -nostdin -hide_banner -loglevel error -f rawvideo -pix_fmt bgra -s ${w}x$h -r 25 -i "$input" \
    -filter_complex "[0:v]split=$ffmpeg_count$split_outputs;${ffmpeg_graph%;}" "${ffmpeg_maps[@]}" \
    -map 0:v -c:v ffv1 -pix_fmt bgra "$scratch/in.mkv" 2>"$scratch/ffmpeg.log"; then
    fail "ffmpeg exited with an error: $(cat "$scratch/ffmpeg.log")"
fi
check_reports FFmpeg "$scratch/ffmpeg.log"
"$check" compare $w $h "$input" <"$scratch/ffmpeg.cases" || status=1

echo "GStreamer $(gst-launch-1.0 --version | sed -n 's/.*version //p' | head -1): $(wc -l <"$scratch/gst.cases") cases"
if ! gst-launch-1.0 -q filesrc location="$input" ! rawvideoparse width=$w height=$h format=bgra framerate=25/1 \
    ! tee name=t "${gst_branches[@]}" >"$scratch/gst.log" 2>&1; then
    fail "gst-launch-1.0 exited with an error: $(cat "$scratch/gst.log")"
fi
check_reports GStreamer "$scratch/gst.log"
"$check" compare $w $h "$input" <"$scratch/gst.cases" || status=1

echo "MLT $(melt --version 2>&1 | sed -n 's/^melt \([0-9.]*\).*/\1/p'): $(wc -l <"$scratch/melt.cases") cases, MLT_SLICES_COUNT=4"
write_mlt_profile $w $h "$scratch/profile" "velmo host test ${w}x$h"
# The clips play one after another into one raw file; it is cut back into each clip's frames.
if ! MLT_SLICES_COUNT=4 melt -silent -profile "$scratch/profile" "${melt_clips[@]}" \
    -consumer avformat:"$scratch/melt.bgra" f=rawvideo vcodec=rawvideo pix_fmt=bgra an=1 real_time=0 \
    >"$scratch/melt.log" 2>&1; then
    fail "melt exited with an error: $(cat "$scratch/melt.log")"
fi
check_reports melt "$scratch/melt.log"
clip=0
while read -r name file _; do
    dd if="$scratch/melt.bgra" of="$file" bs=$((w * h * 4 * frames)) skip=$clip count=1 status=none
    clip=$((clip + 1))
done <"$scratch/melt.cases"
"$check" compare $w $h "$input" <"$scratch/melt.cases" || status=1

# FFmpeg gives frei0r its own frame buffers, whose rows are padded to a multiple of 64 bytes on this
# machine (a multiple of 32 on a CPU without AVX-512); frei0r has no row gap, so at any other width
# every row is read or written in the wrong place. Widths that are a multiple of 16 are safe; those
# that are not a multiple of 8 are wrong on any CPU; the others depend on the CPU and are only shown.
# The velmo stream route reads whole rows at any width.
echo "FFmpeg frame widths, 1 to 48 and 712, 718, 720, 1920 (Config(3,5,7,9,1))"
widths=($(seq 1 48) 712 718 720 1920)
width_inputs=() width_graph="" width_maps=()
for ((i = 0; i < ${#widths[@]}; i++)); do
    width=${widths[i]}
    "$check" make "$width" 2 1 "$width" >"$scratch/width-$width.bgra"
    width_inputs+=(-f rawvideo -pix_fmt bgra -s "${width}x2" -i "$scratch/width-$width.bgra")
    width_graph+="[$i:v]frei0r=velmo:3|5|7|9|y[w$i];"
    width_maps+=(-map "[w$i]" -f rawvideo "$scratch/width-$width-out.bgra")
done
ffmpeg -nostdin -hide_banner -loglevel error "${width_inputs[@]}" -filter_complex "${width_graph%;}" \
    "${width_maps[@]}" 2>"$scratch/widths.log" || fail "ffmpeg exited with an error: $(cat "$scratch/widths.log")"
safe=() cpu_dependent=()
for width in "${widths[@]}"; do
    if echo "width-$width $scratch/width-$width-out.bgra 3 5 7 9 1 0 same" |
        "$check" compare "$width" 2 "$scratch/width-$width.bgra" >"$scratch/width.result"; then
        safe+=("$width")
        ((width % 16 == 0)) || cpu_dependent+=("$width")
        ((width % 8 == 0)) || fail "width $width equals the reference, so the README's safe widths are wrong"
    elif ((width % 16 == 0)); then
        fail "width $width, documented as safe: $(head -1 "$scratch/width.result")"
    fi
done
echo "  equal to the reference at widths: ${safe[*]}"
[ ${#cpu_dependent[@]} -eq 0 ] || echo "  (of which ${cpu_dependent[*]} are safe on this CPU only)"

echo "velmo stream at the unsafe width 718 (the route for any width)"
"$check" make 718 6 2 718 >"$scratch/stream-in.bgra"
ffmpeg -nostdin -hide_banner -loglevel error -f rawvideo -pix_fmt bgra -s 718x6 -i "$scratch/stream-in.bgra" \
    -f rawvideo -pix_fmt bgra - | "$velmo" stream --size 718x6 --config "Config(3,5,7,9,1)" |
    ffmpeg -nostdin -hide_banner -loglevel error -f rawvideo -pix_fmt bgra -s 718x6 -i - \
        -f rawvideo -pix_fmt bgra "$scratch/stream-out.bgra" || fail "the velmo stream route exited with an error"
echo "stream-718 $scratch/stream-out.bgra 3 5 7 9 1 0 same" | "$check" compare 718 6 "$scratch/stream-in.bgra" ||
    status=1

if [ $status -eq 0 ]; then echo "velmo.so gives the reference frames in FFmpeg, GStreamer and melt"; fi
exit $status
