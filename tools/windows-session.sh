# Sourced by the project's scripts before they run Windows programs: gives them a virtual X display
# (unless one is set already) for dialogs and keeps a wineserver running for each prefix. The caller
# ends the session with velmo_stop_windows_session, from its own EXIT trap: this file sets none, so
# it never replaces the caller's clean-up.

velmo_session_pids=()
velmo_session_arches=()

# Whether this kernel starts 32-bit programs (some are built or booted without IA-32 emulation, and
# then 32-bit Wine cannot run; 64-bit Wine still does). Asked of the kernel, not of Wine, so that a
# missing or broken 32-bit Wine fails where it could run.
velmo_runs_32bit() { "$velmo_root/tools/runs-32bit"; }

velmo_stop_windows_session() {
    local arch pid
    for arch in "${velmo_session_arches[@]}"; do VELMO_WINE_ARCH=$arch "$velmo_root/tools/wine-run" --stop; done
    # Waited for, so that the display's lock is gone when the caller goes on.
    for pid in "${velmo_session_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
    velmo_session_arches=()
    velmo_session_pids=()
    unset VELMO_WINE_SESSION
}

# velmo_start_windows_session ARCH... (win32, win64)
# Fails with one line when it cannot give a display.
velmo_start_windows_session() {
    if [ -z "${DISPLAY:-}" ]; then
        if ! command -v Xvfb >/dev/null; then
            echo "$(basename "$0"): DISPLAY is unset and Xvfb is not installed, so Wine has no display for" \
                "the plug-in's dialogs: install it with bash tools/install-deps.sh, or set DISPLAY" >&2
            return 1
        fi
        local display xvfb
        for display in $(seq 90 120); do
            [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] || break
        done
        Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        velmo_session_pids+=("$xvfb")
        for _ in $(seq 100); do
            if [ -e "/tmp/.X11-unix/X$display" ] || ! kill -0 "$xvfb" 2>/dev/null; then break; fi
            sleep 0.1
        done
        if ! kill -0 "$xvfb" 2>/dev/null || [ ! -e "/tmp/.X11-unix/X$display" ]; then
            echo "$(basename "$0"): the virtual display did not start; run it by hand to see why:" \
                "Xvfb :$display" >&2
            return 1
        fi
        export DISPLAY=":$display"
    fi
    export VELMO_WINE_SESSION=1
    local arch
    for arch in "$@"; do
        # Only a server this session started is its to stop.
        VELMO_WINE_ARCH=$arch "$velmo_root/tools/wine-run" --start || return 1
        velmo_session_arches+=("$arch")
    done
}
