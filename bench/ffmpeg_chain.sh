# The zone filter written as a chain of FFmpeg's own filters, for the benchmarks that compare with it:
#   ffmpeg_chain WIDTH HEIGHT UP LEFT RIGHT DOWN OUT_PIX_FMT [WORK_PIX_FMT]
# prints the -vf argument for margins up, left, right, down with the border on. crop and pad shift the
# picture, fillborders in smear mode repeats the edge lines the shift uncovers, and fillborders in
# fixed mode paints the black border. fillborders works on planar formats only, so the chain works in
# WORK_PIX_FMT (default gbrp: converted to and back losslessly; the alpha that gbrp drops comes back
# opaque). For a planar format fillborders takes, give it as both formats and nothing is converted;
# crop and pad then move chroma by whole samples only, so the shifts must be whole chroma samples.
#
# The filter counts rows from the bottom; in FFmpeg's top-down rows output line y shows source line
# y - dy, column x column x + dx.
ffmpeg_chain() {
    local w=$1 h=$2 up=$3 left=$4 right=$5 down=$6 out_format=$7 work_format=${8:-gbrp}
    local dy=$(((down - up) >> 1)) dx=$(((left - right) >> 1))
    local sy=$(((down + up) >> 1)) sx=$(((left + right) >> 1))
    local cropY=0 padY=0 smearTop=0 smearBottom=0 cropX=0 padX=0 smearLeft=0 smearRight=0
    if ((dy > 0)); then padY=$dy smearTop=$dy; else cropY=$((-dy)) smearBottom=$((-dy)); fi
    if ((dx > 0)); then cropX=$dx smearRight=$dx; else padX=$((-dx)) smearLeft=$((-dx)); fi
    local absY=$((dy < 0 ? -dy : dy)) absX=$((dx < 0 ? -dx : dx))
    local black=$((sy - 1 > 0 ? sy - 1 : 0)) side=$((sx - 1 > 0 ? sx - 1 : 0))
    printf '%s' "crop=$((w - absX)):$((h - absY)):$cropX:$cropY,pad=$w:$h:$padX:$padY,format=$work_format," \
        "fillborders=left=$smearLeft:right=$smearRight:top=$smearTop:bottom=$smearBottom:mode=smear," \
        "fillborders=left=$side:right=$side:top=$black:bottom=$black:mode=fixed:color=black,format=$out_format"
}
