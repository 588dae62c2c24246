# Scoring shared by the velmo suggest benchmarks; sourced, not run.

# The four margins of a line "Config(u,l,r,d,1)", or nothing.
marginsOf() {
    sed -n 's/^Config(\([0-9]*\),\([0-9]*\),\([0-9]*\),\([0-9]*\),1)$/\1 \2 \3 \4/p' <<<"$1"
}

# Margins from cropdetect's crop=w:h:x:y the way the ideal is made: up = y + 1, left = x + 1,
# right = W - (x + w - 1), down = H - (y + h - 1).
cropdetectMargins() { # clip WxH
    local clip=$1 W=${2%x*} H=${2#*x} crop cw ch cx cy
    crop=$(ffmpeg -nostdin -hide_banner -i "$clip" -vf cropdetect=round=2:reset=0 -f null - 2>&1 |
        sed -n 's/.*crop=\([0-9]*:[0-9]*:[0-9]*:[0-9]*\).*/\1/p' | tail -n 1)
    [ -n "$crop" ] || { echo "- - - -"; return; }
    IFS=: read -r cw ch cx cy <<<"$crop"
    echo "$((cy + 1)) $((cx + 1)) $((W - (cx + cw - 1))) $((H - (cy + ch - 1)))"
}

# "u l r d" against the ideal: "safe tight" as two 0/1 flags. Safe: every margin at least the
# ideal; tight: none more than one above it.
score() {
    awk -v s="$1" -v i="$2" 'BEGIN { n = split(s, a, " "); split(i, b, " "); safe = n == 4; tight = n == 4;
        for (k = 1; k <= 4; k++) { if (a[k] !~ /^[0-9]+$/ || a[k] < b[k]) safe = 0; if (a[k] !~ /^[0-9]+$/ || a[k] > b[k] + 1) tight = 0 }
        print safe, safe && tight }'
}

# Totals over result lines that end: velmo's safe tight, "cropdetect", its four margins, its safe tight.
summarise() {
    awk '{ n++; vs += $(NF-8); vt += ($(NF-8) && $(NF-7)); cs += $(NF-1); ct += ($(NF-1) && $NF) }
        END { printf "\n%d cases\n", n;
              printf "velmo suggest: safe %d/%d (%.1f%%), safe and tight %d/%d (%.1f%%)\n", vs, n, 100*vs/n, vt, n, 100*vt/n;
              printf "cropdetect:    safe %d/%d (%.1f%%), safe and tight %d/%d (%.1f%%)\n", cs, n, 100*cs/n, ct, n, 100*ct/n }' "$1"
}
