#!/usr/bin/env bash
# The main job: builds VELMO.VDF (32-bit and 64-bit) and shows it working. The plug-in is loaded by
# the project's own host (vdfhost) under Wine and run on a generated test card, as an off-centre
# capture with ragged edges. Pictures land in out/; vdfhost prints each instance's summary and saved
# script line.
set -euo pipefail
velmo_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$velmo_root"

# Status 3: everything but 32-bit Wine, which the mirror could not give; the 64-bit plug-in then
# shows the same pictures.
wine32=true
bash tools/install-deps.sh || { status=$?; [ "$status" -eq 3 ] || exit "$status"; wine32=false; }
cmake --preset native >/dev/null
cmake --build --preset native --target testcard
bash tools/build-windows.sh velmo_vdf vdfhost

source tools/windows-session.sh
trap velmo_stop_windows_session EXIT
# The pictures come from the 32-bit plug-in, the file most hosts load; where this machine cannot start
# 32-bit programs they come from the 64-bit one, which gives the same pixels.
if $wine32 && velmo_runs_32bit; then
    velmo_start_windows_session win32 win64
    arch=win32 folder=mingw-i686
else
    velmo_start_windows_session win64
    arch=win64 folder=mingw-x86_64
    if $wine32; then
        echo "This machine cannot start 32-bit programs: the demo runs the 64-bit VELMO.VDF."
    else
        echo "32-bit Wine could not be installed (above): the demo runs the 64-bit VELMO.VDF."
    fi
fi

mkdir -p out
build/native/tools/testcard/testcard out/testcard.png
cd "build/$folder/plugin"
host() { VELMO_WINE_ARCH=$arch "$velmo_root/tools/wine-run" vdfhost.exe VELMO.VDF "$@"; }

echo; echo "== Shift and border: Config(3,5,7,9,1) =="
host --script "Config(3,5,7,9,1)" "$velmo_root/out/testcard.png" "$velmo_root/out/shift-border.png"
echo; echo "== Shift only: Config(3,5,7,9,0) =="
host --script "Config(3,5,7,9,0)" "$velmo_root/out/testcard.png" "$velmo_root/out/shift.png"
echo; echo "== Outline, ticked in the dialog, with a screenshot of the dialog and the live preview =="
host --configure "$velmo_root/out/testcard.png" "$velmo_root/out/outline.png" --script "Config(3,5,7,9,1)" \
    --do click:1006 --do click:1005 --do "shot:$velmo_root/out/dialog.png" --do ok

if [ "$arch" = win32 ]; then
    echo; echo "== The 64-bit plug-in, in the 64-bit host: Config(3,5,7,9,1) =="
    cd "$velmo_root/build/mingw-x86_64/plugin"
    VELMO_WINE_ARCH=win64 "$velmo_root/tools/wine-run" vdfhost.exe VELMO.VDF --script "Config(3,5,7,9,1)" \
        "$velmo_root/out/testcard.png" "$velmo_root/out/shift-border-x64.png"
    cmp -s "$velmo_root/out/shift-border.png" "$velmo_root/out/shift-border-x64.png" &&
        echo "same picture as the 32-bit plug-in"
fi

echo
echo "VELMO.VDF: $velmo_root/build/mingw-i686/plugin/VELMO.VDF (32-bit hosts: plugins folder)"
echo "           $velmo_root/build/mingw-x86_64/plugin/VELMO.VDF (64-bit hosts: plugins64 folder)"
echo "Pictures:  $velmo_root/out/{testcard,shift-border,shift,outline,dialog}.png"
