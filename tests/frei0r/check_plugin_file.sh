#!/usr/bin/env bash
# velmo.so read without loading it: it exports the frei0r entry points and nothing else, and needs
# only the C and C++ runtime, so it loads in any host on any Debian 12 machine.
#   check_plugin_file.sh velmo.so
set -euo pipefail
plugin=$1
status=0

expected_exports="f0r_construct f0r_deinit f0r_destruct f0r_get_param_info f0r_get_param_value f0r_get_plugin_info f0r_init f0r_set_param_value f0r_update"
exports=$(readelf --dyn-syms -W "$plugin" | awk '$7 != "UND" && $7 != "Ndx" && $8 != "" {print $8}' | sort | xargs)
if [ "$exports" = "$expected_exports" ]; then
    echo "exports: $exports"
else
    echo "FAILED: velmo.so exports \"$exports\"; expected only \"$expected_exports\""
    status=1
fi

needed=$(readelf -d "$plugin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | xargs)
for library in $needed; do
    case $library in
        libc.so.6 | libm.so.6 | ld-linux-x86-64.so.2 | libstdc++.so.6 | libgcc_s.so.1) ;;
        *)
            echo "FAILED: velmo.so needs $library; it may need only the C and C++ runtime"
            status=1
            ;;
    esac
done
echo "needs: $needed"
exit $status
