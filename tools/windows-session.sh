# Sourced by the project's scripts before they run Windows programs: gives them a virtual X display
# (unless one is set already) for dialogs and keeps a wineserver running for each prefix, until the
# calling script exits.

velmo_session_pids=()

# Some kernels are built or booted without IA-32 emulation and start no 32-bit program, 32-bit Wine
# included (its loader then fails with "Exec format error"); 64-bit Wine still runs there.
velmo_runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

velmo_stop_windows_session() {
    for arch in "${velmo_session_arches[@]}"; do VELMO_WINE_ARCH=$arch "$velmo_root/tools/wine-run" --stop; done
    for pid in "${velmo_session_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}

# velmo_start_windows_session ARCH... (win32, win64)
velmo_start_windows_session() {
    velmo_session_arches=("$@")
    if [ -z "${DISPLAY:-}" ]; then
        local display
        for display in $(seq 90 120); do
            [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] || break
        done
        Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        velmo_session_pids+=($!)
        export DISPLAY=":$display"
        for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    fi
    trap velmo_stop_windows_session EXIT
    local arch
    for arch in "$@"; do VELMO_WINE_ARCH=$arch "$velmo_root/tools/wine-run" --start; done
}
