#!/usr/bin/env bash
# velmo suggest and FFmpeg's cropdetect on a second case set, made apart from capturegen with
# FFmpeg's own filters only: a photograph panned by zoompan, padded into the frame, noise, and the
# damage painted by geq expressions.
#
#   bash bench/suggest_ffmpeg_cases.sh [--keep DIR]
#
# The ideal margins follow from the pad and the painted damage. Pads keep even offsets and sizes:
# under 4:2:0 FFmpeg rounds an odd one down, which would move the picture off its ideal.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
keep=
while [ $# -gt 0 ]; do
    case $1 in
        --keep) keep=$2; shift ;;
        *) echo "usage: bash bench/suggest_ffmpeg_cases.sh [--keep DIR]" >&2; exit 2 ;;
    esac
    shift
done

bash "$root/tools/install-deps.sh" --native
cmake --preset native -S "$root" >/dev/null
cmake --build --preset native --target velmo capturegen >/dev/null
velmo=$root/build/native/velmo/velmo
# shellcheck source=bench/suggest_scoring.sh
source "$root/bench/suggest_scoring.sh"
# The photographs: capturegen's fixed, sorted list; a missing one stops the run, named.
mapfile -t photos < <("$root/build/native/tools/capturegen/capturegen" --list-photos)
for photo in "${photos[@]}"; do
    [ -f "$photo" ] || { echo "missing $photo: run tools/install-deps.sh (lomiri-wallpapers-16.04)" >&2; exit 1; }
done

if [ -n "$keep" ]; then work=$keep; mkdir -p "$work"; else work=$(mktemp -d); trap 'rm -rf "$work"' EXIT; fi

# A hash of the line and the frame number in [0, 1): new per line and per frame.
H='(sin(Y*12.9898+N*78.233)*43758.5453-floor(sin(Y*12.9898+N*78.233)*43758.5453))'

# make NAME W H x0 y0 x1 y1 PHOTO PIXFMT CODEC [DAMAGE [CONTENT [IDEAL]]]
# The clean picture is columns x0..x1 and rows y0..y1; DAMAGE is a geq expression per channel
# (CH stands for the channel), CONTENT a filter applied to the picture before it is padded. The
# ideal is up = y0 + 1, left = x0 + 1, right = W - x1, down = H - y1 unless given.
make() {
    local name=$1 W=$2 H_=$3 x0=$4 y0=$5 x1=$6 y1=$7 photo=$8 pixfmt=$9 codec=${10} damage=${11:-}
    local content=${12:-null} ideal=${13:-} paint=""
    [ -n "$damage" ] && paint=",format=gbrp,geq=r='${damage//CH/r}':g='${damage//CH/g}':b='${damage//CH/b}'"
    echo "${ideal:-$((y0 + 1)) $((x0 + 1)) $((W - x1)) $((H_ - y1))}" >"$work/$name.ideal"
    [ -f "$work/$name.mkv" ] && return
    ffmpeg -nostdin -v error -y -loop 1 -framerate 25 -i "$photo" -filter_complex \
        "[0:v]scale=2000:-2,zoompan=z='1.15+0.003*on':x='(iw-iw/zoom)/2+6*on':y='(ih-ih/zoom)/2+60*sin(on/7)':d=1:s=$((x1 - x0 + 1))x$((y1 - y0 + 1)):fps=25,$content,pad=$W:$H_:$x0:$y0:black,noise=alls=6:allf=t$paint,format=$pixfmt" \
        -frames:v 75 -c:v "$codec" "$work/$name.mkv"
}
P=("${photos[@]}")
make offcentre 720 576 12 8 713 571 "${P[0]}" yuv420p ffv1
make offcentre-422 720 576 12 8 713 571 "${P[1]}" yuv422p ffv1
make ntsc-bars 720 480 22 4 697 471 "${P[2]}" yuv420p libx264
make clean 720 576 0 0 719 575 "${P[3]}" yuv420p ffv1
make ragged-left 720 576 10 0 719 575 "${P[0]}" yuv422p ffv1 "if(lt(X,10+floor(5*$H)),16,CH(X,Y))" null "1 15 1 1"
make ragged-right 720 576 0 0 709 575 "${P[1]}" yuv420p ffv1 "if(gt(X,709-floor(5*$H)),16,CH(X,Y))" null "1 1 15 1"
make stripe-left 720 576 8 0 719 575 "${P[2]}" yuv422p ffv1 "if(between(X,8,9),170,CH(X,Y))" null "1 11 1 1"
make stripe-top 720 576 0 4 719 575 "${P[3]}" yuv420p ffv1 "if(eq(Y,5),235,CH(X,Y))" null "7 1 1 1"
make head-switching 720 576 0 0 719 575 "${P[0]}" yuv420p ffv1 \
    "if(gte(Y,569),clip(CH(mod(X+20+floor(60*$H),720),Y)+40*($H-0.5),0,255),CH(X,Y))" null "1 1 1 8"
make head-switching-ntsc 720 480 0 0 719 479 "${P[1]}" yuv422p libx264 \
    "if(gte(Y,474),clip(CH(mod(X+15+floor(40*$H),720),Y)+30*($H-0.5),0,255),CH(X,Y))" null "1 1 1 7"
make half-black-top 720 576 0 2 719 575 "${P[2]}" yuv420p ffv1 "if(eq(Y,2)*lt(X,360),16,CH(X,Y))" null "4 1 1 1"
make dark-scene 720 576 14 0 719 575 "${P[3]}" yuv420p ffv1 "" "eq=brightness=-0.35:contrast=0.6"
make dark-top 720 576 0 0 719 575 "${P[0]}" yuv422p ffv1 "" \
    "geq=lum='lum(X,Y)*min(1,0.05+Y/90)':cb='cb(X,Y)':cr='cr(X,Y)'" "1 1 1 1"
make interlaced 720 576 6 2 711 573 "${P[1]}" yuv420p ffv1 "" "tinterlace=mode=interleave_top,fps=25"
make combined 720 576 12 3 705 575 "${P[2]}" yuv422p ffv1 \
    "if(lt(X,12+floor(4*$H)),16,if(eq(Y,3)*lt(X,400),16,if(gte(Y,568),CH(mod(X+25+floor(50*$H),720),Y),CH(X,Y))))" \
    null "5 16 15 9"

: >"$work/results.txt"
for clip in "$work"/*.mkv; do
    name=$(basename "$clip" .mkv)
    ideal=$(cat "$work/$name.ideal")
    if line=$("$velmo" suggest "$clip" 2>"$work/$name.report"); then
        suggested=$(marginsOf "$line")
    else
        suggested="- - - -"
    fi
    cropped=$(cropdetectMargins "$clip" "$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
        -of csv=s=x:p=0 "$clip")")
    printf '%-22s ideal %-12s velmo %-12s %s  cropdetect %-12s %s\n' "$name" "$ideal" "$suggested" \
        "$(score "$suggested" "$ideal")" "$cropped" "$(score "$cropped" "$ideal")" | tee -a "$work/results.txt"
done
summarise "$work/results.txt"
