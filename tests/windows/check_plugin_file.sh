#!/usr/bin/env bash
# Reads a built VELMO.VDF without loading it: its architecture, its two undecorated exports, imports
# from system DLLs only, the dialog template under language 1049 and the 86-byte manifest under 1033.
# The Windows-side tests check all this and much more by loading the file; this check still holds
# where a build cannot be run, such as a 32-bit build on a kernel that cannot start 32-bit programs.
#
#   check_plugin_file.sh VELMO.VDF i386|x86_64
set -euo pipefail
file=$1
arch=$2
readobj=$(command -v llvm-readobj-14 || command -v llvm-readobj)
failures=0
fail() { echo "$file: $*"; failures=$((failures + 1)); }

headers=$("$readobj" --coff-exports --coff-imports "$file")
grep -qx "Arch: $arch" <<<"$headers" || fail "not built for $arch"

exports=$(awk '/^Export \{/ { inside = 1 } inside && $1 == "Name:" { print $2 } /^\}/ { inside = 0 }' <<<"$headers" | sort)
[ "$exports" = $'VirtualdubFilterModuleDeinit\nVirtualdubFilterModuleInit2' ] ||
    fail "exports are not exactly the two entry points: $(echo $exports)"

while read -r dll; do
    case ${dll^^} in
        KERNEL32.DLL | USER32.DLL | MSVCRT.DLL | GDI32.DLL | COMCTL32.DLL | ADVAPI32.DLL) ;;
        *) fail "imports $dll, which would have to be shipped beside the plug-in" ;;
    esac
done < <(awk '/^Import \{/ { inside = 1 } inside && $1 == "Name:" { print $2 } /^\}/ { inside = 0 }' <<<"$headers")

# One line per resource: type id, name id, language id, size.
resources=$("$readobj" --coff-resources "$file" | awk '
    $1 == "Type:" { type = $NF == "[" ? $(NF - 1) : $NF }
    $1 == "Name:" { name = $(NF - 1) }
    $1 == "Language:" { language = $(NF - 1) }
    $1 == "DataSize:" { print type, name, language, $2 }' | tr -d ')')
grep -q "^5 101 1049 " <<<"$resources" || fail "no dialog 101 in language 1049"
grep -qx "24 2 1033 86" <<<"$resources" || fail "no 86-byte manifest 2 in language 1033"

[ "$failures" -eq 0 ] && echo "$file: $arch, two exports, system imports, dialog and manifest resources"
exit "$((failures > 0))"
