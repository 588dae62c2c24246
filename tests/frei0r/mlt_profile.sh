# Sourced by the host test scripts. write_mlt_profile W H FILE DESCRIPTION: an MLT profile for
# progressive W x H frames at 25 per second with square pixels, so melt neither scales nor
# interlaces what it hands the plug-in.
write_mlt_profile() {
    cat >"$3" <<PROFILE
description=$4
frame_rate_num=25
frame_rate_den=1
width=$1
height=$2
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=$1
display_aspect_den=$2
colorspace=709
PROFILE
}
