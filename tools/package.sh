#!/usr/bin/env bash
# Builds the release folder: the 32-bit and the 64-bit VELMO.VDF with a short text on installing.
#   dist/x86/VELMO.VDF   for 32-bit VirtualDub (its plugins folder)
#   dist/x64/VELMO.VDF   for 64-bit VirtualDub (its plugins64 folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/install-deps.sh
bash tools/build-windows.sh velmo_vdf
rm -rf dist
mkdir -p dist/x86 dist/x64
cp build/mingw-i686/plugin/VELMO.VDF dist/x86/
cp build/mingw-x86_64/plugin/VELMO.VDF dist/x64/
cat >dist/INSTALL.txt <<'TEXT'
Velmo, version 1.1(2) - a VirtualDub filter that re-centres an off-centre capture

Which file goes where:
  32-bit VirtualDub (VirtualDub.exe):   copy x86\VELMO.VDF into the "plugins" folder beside it.
  64-bit VirtualDub (Veedub64.exe and other 64-bit builds):
                                        copy x64\VELMO.VDF into the "plugins64" folder beside it
                                        (create the folder if it is missing).

A host loads only plug-ins of its own architecture, so use the file that matches VirtualDub, not
Windows. Restart VirtualDub; the filter appears in the filter list as "Velmo, version 1.1(2)".
Each file works on its own: it needs no other DLL.

Saved settings look like Config(3,5,7,9,1) - up, left, right, down, border - and are the same for
both builds.
TEXT
ls -l dist/x86/VELMO.VDF dist/x64/VELMO.VDF
echo "Release folder: $root/dist"
