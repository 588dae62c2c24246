#!/usr/bin/env bash
# Which routes through Velmo keep a capture's samples: a 720x576 4:2:2 FFV1 capture (8-bit, and
# 10-bit) moved by Config(4,14,5,10,1) along each route, written as FFV1 in the capture's own pixel
# format, decoded, and compared inside the zone (the centred window the border keeps, 704 x 564)
# with the capture moved by the same shift (4 columns left, 3 lines down). Prints, for each route,
# the share of luma samples that came out exact and the luma PSNR.
#
#   bash bench/routes_lossless.sh [FRAMES]      (default 50)
#
# The capture is FFmpeg's testsrc2 with temporal noise on luma and chroma, as tape noise is, stored
# in the pixel format named (FFV1 keeps it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=${1:-50}
build=$root/build/native
if [ ! -x "$build/velmo/velmo" ] || [ ! -f "$build/frei0r/velmo.so" ]; then
    cmake --preset native -S "$root" >/dev/null
    cmake --build --preset native --target velmo velmo_frei0r >/dev/null
fi
export PATH=$build/velmo:$PATH
export FREI0R_PATH=$build/frei0r
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export GST_REGISTRY=$scratch/gst-registry.bin
cd "$scratch"
w=720 h=576 line="Config(4,14,5,10,1)"
# The window and the shift, worked out by hand: sy = (10 + 4) / 2 = 7 and sx = (14 + 5) / 2 = 9 keep
# lines 6 .. 569 and columns 8 .. 711; output line y shows line y - 3, column x column x + 4.
window=704:564:8:6
moved=704:564:12:3
quiet=(-nostdin -hide_banner -loglevel error -y)

# compare OUTPUT CAPTURE FORMAT: "exact-share psnr" of luma inside the window.
compare() {
    local graph="[0:v]crop=$window,format=$3,split[a][a2];[1:v]crop=$moved,format=$3,split[b][b2]"
    local maxval exact psnr
    maxval=$([ "$3" = yuv422p ] && echo 255 || echo 1023)
    # Each luma sample: the largest value where the two agree, 0 where they differ; the frame's mean
    # luma then gives the share that agrees.
    graph+=";[a][b]psnr=stats_file=psnr.log[p];[a2][b2]blend=c0_expr='if(eq(A,B),$maxval,0)'"
    graph+=",signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=yavg.log[e]"
    ffmpeg "${quiet[@]}" -i "$1" -i "$2" -filter_complex "$graph" -map '[p]' -f null - -map '[e]' -f null -
    exact=$(awk -F= -v m="$maxval" '/YAVG/ { s += $2; n++ } END { printf "%.1f", 100 * s / (n * m) }' yavg.log)
    # The mean of the frames' mean squared errors of luma, as one PSNR over all frames.
    psnr=$(awk -v m="$maxval" '{ for (i = 1; i <= NF; i++) if ($i ~ /^mse_y:/) { split($i, f, ":"); s += f[2]; n++ } }
        END { if (s == 0) print "inf"; else printf "%.1f", 10 * log(m * m / (s / n)) / log(10) }' psnr.log)
    echo "$exact $psnr"
}

report() { # ROUTE OUTPUT CAPTURE FORMAT
    local figures
    if [ ! -s "$2" ]; then
        printf '  %-46s  did not run\n' "$1"
        return
    fi
    figures=$(compare "$2" "$3" "$4")
    printf '  %-46s  %6s %% exact   %6s dB\n' "$1" ${figures% *} ${figures#* }
}

for depth in 8 10; do
    noise="noise=c0s=12:c1s=8:c2s=8:allf=t"
    if [ $depth = 8 ]; then
        format=yuv422p gst_format=Y42B
    else
        # noise works on 8 bits: the two bits below them get noise of their own, within 10 bits.
        format=yuv422p10le gst_format=I422_10LE
        noise+=",format=$format,geq=lum='min(lum(X,Y)+floor(4*random(0)),1023)'"
        noise+=":cb='min(cb(X,Y)+floor(4*random(0)),1023)':cr='min(cr(X,Y)+floor(4*random(0)),1023)'"
    fi
    capture=capture-$depth.mkv
    ffmpeg "${quiet[@]}" -f lavfi -i "testsrc2=size=${w}x$h:rate=25" -frames:v "$frames" \
        -vf "$noise,format=$format" -c:v ffv1 -level 3 "$capture"
    echo "$depth-bit 4:2:2 capture, $frames frames, $line, luma inside the zone:"

    ffmpeg "${quiet[@]}" -i "$capture" -vf "crop=716:573:4:0,pad=720:576:0:3,fillborders=top=3:right=4:mode=smear" \
        -c:v ffv1 -level 3 chain.mkv
    report "FFmpeg's crop, pad and fillborders" chain.mkv "$capture" "$format"

    velmo fix "$capture" -o fix.mkv --overwrite --config "$line" >/dev/null 2>&1 || rm -f fix.mkv
    report "velmo fix" fix.mkv "$capture" "$format"

    ffmpeg "${quiet[@]}" -i "$capture" -f rawvideo -pix_fmt $format - |
        velmo stream --size ${w}x$h --pix-fmt $format --config "$line" |
        ffmpeg "${quiet[@]}" -f rawvideo -pix_fmt $format -s ${w}x$h -r 25 -i - -c:v ffv1 -level 3 stream-own.mkv
    report "velmo stream --pix-fmt $format" stream-own.mkv "$capture" "$format"

    ffmpeg "${quiet[@]}" -i "$capture" -f rawvideo -pix_fmt bgr0 - |
        velmo stream --size ${w}x$h --config "$line" |
        ffmpeg "${quiet[@]}" -f rawvideo -pix_fmt bgr0 -s ${w}x$h -r 25 -i - -c:v ffv1 -level 3 -pix_fmt $format \
            stream-bgr0.mkv
    report "velmo stream, bgr0" stream-bgr0.mkv "$capture" "$format"

    ffmpeg "${quiet[@]}" -i "$capture" -vf "frei0r=velmo:4|14|5|10|y" -c:v ffv1 -level 3 -pix_fmt $format frei0r.mkv
    report "ffmpeg -vf frei0r=velmo" frei0r.mkv "$capture" "$format"

    gst-launch-1.0 -q filesrc location="$capture" ! decodebin ! videoconvert ! \
        frei0r-filter-velmo config="$line" ! videoconvert ! video/x-raw,format=$gst_format ! avenc_ffv1 ! \
        matroskamux ! filesink location=gst.mkv >/dev/null 2>&1 || rm -f gst.mkv
    report "GStreamer frei0r-filter-velmo" gst.mkv "$capture" "$format"

    melt -quiet "$capture" -attach frei0r.velmo config="$line" \
        -consumer avformat:melt.mkv vcodec=ffv1 pix_fmt=$format an=1 >/dev/null 2>&1 || rm -f melt.mkv
    report "melt -attach frei0r.velmo" melt.mkv "$capture" "$format"
done
