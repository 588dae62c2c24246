#!/usr/bin/env bash
# Every test: the source format, the native core tests (plain and under AddressSanitizer and
# UndefinedBehaviorSanitizer), velmo.so in FFmpeg, GStreamer and melt and installed for each, short
# fuzzing runs of the transform and of the picture reader, a benchmark smoke run, and the
# Windows-side tests for both architectures, where VELMO.VDF is loaded by the project's own host
# under Wine with a virtual display, and a check that both architectures give the same results. On a kernel that cannot start 32-bit programs the
# 32-bit plug-in is built and read but not run.
# Any failing step fails the whole run.
set -euo pipefail
velmo_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$velmo_root"
fuzz_seconds=${VELMO_FUZZ_SECONDS:-60}
picture_fuzz_seconds=${VELMO_PICTURE_FUZZ_SECONDS:-30}

step() { printf '\n== %s ==\n' "$*"; }

source tools/windows-session.sh
scratch=$(mktemp -d)
trap 'velmo_stop_windows_session; rm -rf "$scratch"' EXIT

bash tools/install-deps.sh || {
    status=$?
    [ "$status" -eq 3 ] && echo "FAILED: 32-bit Wine could not be installed (above), and this kernel runs 32-bit programs"
    exit 1
}

step "Source format (.clang-format)"
# Our own sources: everything but the build trees (third-party code is not kept in the tree).
find . \( -path ./build -o -path ./out -o -path ./dist -o -path './.*' \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
echo "every C++ source matches .clang-format"

step "Native tests (release)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native --no-tests=error

step "velmo.so in FFmpeg, GStreamer and melt, held to the reference"
bash tests/frei0r/host_tests.sh build/native

step "tools/install.sh for one user and for everyone; every host finds velmo.so"
bash tests/frei0r/install_test.sh build/native

step "The README's examples for FFmpeg, GStreamer and melt, as written"
bash tests/frei0r/readme_examples.sh build/native

step "Native tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize
ctest --preset native-sanitize --no-tests=error

# run_fuzzer NAME SECONDS SEED-CORPUS: the fuzzer's own exit status decides: a mismatch, a crash or a
# sanitizer report stops it nonzero. Its log is long, so only the summary is shown, or the end of
# the log when it failed; a run that executed few inputs did not really fuzz and fails too.
run_fuzzer() {
    local name=$1 seconds=$2 seeds=$3 log=$scratch/$1.log executed
    mkdir "$scratch/$name-corpus"
    if ! "build/fuzz/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/$name-" "$scratch/$name-corpus" "$seeds" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "FAILED: $name stopped on a failing input (above)"
        exit 1
    fi
    grep -E '^(stat::number_of_executed_units|Done)' "$log" || true
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "${executed:-0}" -lt 1000 ]; then
        echo "FAILED: $name executed ${executed:-no} inputs; a working run executes thousands"
        exit 1
    fi
}

step "Fuzzing the frame transform against the reference for ${fuzz_seconds} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
run_fuzzer render_fuzz "$fuzz_seconds" fuzz/corpus

step "Fuzzing the picture reader (PNG, BMP, JPEG through FFmpeg's decoders) for ${picture_fuzz_seconds} s"
run_fuzzer picture_fuzz "$picture_fuzz_seconds" fuzz/picture-corpus

step "Benchmark smoke run"
build/native/bench/render_bench --benchmark_min_time=0 --benchmark_repetitions=1 >/dev/null
echo "render_bench ran"

step "velmo.so and FFmpeg's own filter chain give identical frames (the benchmark's check)"
bash bench/frei0r_vs_ffmpeg.sh 0

step "velmo fix and FFmpeg's own filter chain give identical frames, the sound kept (the benchmark's check)"
bash bench/fix_vs_ffmpeg.sh 0

step "Building for 32-bit and 64-bit Windows"
bash tools/build-windows.sh

step "The plug-in files, read without loading them"
bash tests/windows/check_plugin_file.sh build/mingw-i686/plugin/VELMO.VDF i386
bash tests/windows/check_plugin_file.sh build/mingw-x86_64/plugin/VELMO.VDF x86_64

runs_32bit=false
velmo_runs_32bit && runs_32bit=true
if $runs_32bit; then velmo_start_windows_session win32 win64; else velmo_start_windows_session win64; fi

if $runs_32bit; then
    step "Windows-side tests (32-bit, Wine)"
    ctest --preset mingw-i686 --no-tests=error
else
    step "Windows-side tests (32-bit, Wine): NOT RUN"
    echo "This machine's kernel cannot start 32-bit programs, so 32-bit Wine cannot run here. The 32-bit"
    echo "VELMO.VDF and its tests were built, and the file was read above; the 64-bit tests run the same code."
fi

step "Windows-side tests (64-bit, Wine)"
ctest --preset mingw-x86_64 --no-tests=error

if $runs_32bit; then
    step "Same pixels, summaries and lines from both architectures"
    bash tests/windows/compare_architectures.sh
fi

if $runs_32bit; then step "All tests passed"; else step "All tests that can run here passed (not the 32-bit Wine tests)"; fi
