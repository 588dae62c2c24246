#!/usr/bin/env bash
# Every test: the native core tests (plain and under AddressSanitizer and
# UndefinedBehaviorSanitizer), a short fuzzing run, a benchmark smoke run, and the Windows-side
# tests for both architectures, where VELMO.VDF is loaded by the project's own host under Wine
# with a virtual display, and a check that both architectures give the same results. On a kernel
# that cannot start 32-bit programs the 32-bit plug-in is built and read but not run.
set -euo pipefail
velmo_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$velmo_root"
fuzz_seconds=${VELMO_FUZZ_SECONDS:-60}

step() { printf '\n== %s ==\n' "$*"; }

bash tools/install-deps.sh

step "Native tests (release)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

step "Native tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize
ctest --preset native-sanitize

step "Fuzzing the frame transform against the reference for ${fuzz_seconds} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
build/fuzz/fuzz/render_fuzz -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
    "$corpus" fuzz/corpus 2>&1 | grep -E "^(stat::number_of_executed_units|Done|==)" || true
test "${PIPESTATUS[0]}" -eq 0

step "Benchmark smoke run"
build/native/bench/render_bench --benchmark_min_time=0 --benchmark_repetitions=1 >/dev/null
echo "render_bench ran"

step "Building for 32-bit and 64-bit Windows"
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686
cmake --preset mingw-x86_64 >/dev/null
cmake --build --preset mingw-x86_64

step "The plug-in files, read without loading them"
bash tests/windows/check_plugin_file.sh build/mingw-i686/plugin/VELMO.VDF i386
bash tests/windows/check_plugin_file.sh build/mingw-x86_64/plugin/VELMO.VDF x86_64

source tools/windows-session.sh
runs_32bit=false
velmo_runs_32bit && runs_32bit=true
if $runs_32bit; then velmo_start_windows_session win32 win64; else velmo_start_windows_session win64; fi
trap 'rm -rf "$corpus"; velmo_stop_windows_session' EXIT

if $runs_32bit; then
    step "Windows-side tests (32-bit, Wine)"
    ctest --preset mingw-i686
else
    step "Windows-side tests (32-bit, Wine): NOT RUN"
    echo "This machine's kernel cannot start 32-bit programs, so 32-bit Wine cannot run here. The 32-bit"
    echo "VELMO.VDF and its tests were built, and the file was read above; the 64-bit tests run the same code."
fi

step "Windows-side tests (64-bit, Wine)"
ctest --preset mingw-x86_64

if $runs_32bit; then
    step "Same pixels, summaries and lines from both architectures"
    bash tests/windows/compare_architectures.sh
fi

if $runs_32bit; then step "All tests passed"; else step "All tests that can run here passed (not the 32-bit Wine tests)"; fi
