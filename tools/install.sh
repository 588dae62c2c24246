#!/usr/bin/env bash
# Builds and installs velmo and velmo.so from this checkout, with the Debian packages they and the
# README's examples need (FFmpeg, GStreamer, melt).
#   bash tools/install.sh          for everyone (as root): /usr/local/bin/velmo and
#                                  /usr/local/lib/frei0r-1/velmo.so
#   bash tools/install.sh --user   for this user: ~/.local/bin/velmo and ~/.frei0r-1/lib/velmo.so
# FFmpeg, GStreamer and MLT look for frei0r plug-ins in both folders; FREI0R_PATH is not needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
case ${1:-} in
    "") mode=system ;;
    --user) mode=user ;;
    *)
        echo "usage: bash tools/install.sh [--user]" >&2
        exit 2
        ;;
esac

if [ $mode = system ] && [ "$(id -u)" -ne 0 ]; then
    echo "install.sh: installing for everyone writes to /usr/local; run it as root, or use --user" >&2
    exit 1
fi

bash tools/install-deps.sh --native
cmake --preset native >/dev/null
cmake --build --preset native --target velmo velmo_frei0r
if [ $mode = system ]; then
    cmake --install build/native --prefix /usr/local --component velmo
    cmake --install build/native --prefix /usr/local --component frei0r
    bin=/usr/local/bin
else
    cmake --install build/native --prefix "$HOME/.local" --component velmo
    cmake --install build/native --prefix "$HOME/.frei0r-1" --component frei0r-user
    bin=$HOME/.local/bin
fi
case ":$PATH:" in
    *":$bin:"*) ;;
    *) echo "note: $bin is not on your PATH; add it (export PATH=\"$bin:\$PATH\") to run velmo by name" ;;
esac
