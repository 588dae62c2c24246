#include "velmo/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

ProgressLine::ProgressLine() : shown_(isatty(STDERR_FILENO) != 0), start_(Clock::now()), last_(start_) {}

void ProgressLine::update(std::uint64_t frames) {
    update(frames, -1);
}

void ProgressLine::update(std::uint64_t frames, double done) {
    done_ = done;
    if (!shown_) return;
    const Clock::time_point now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(500)) return;
    last_ = now;
    print(frames, done, now);
}

void ProgressLine::finish(std::uint64_t frames) {
    if (!shown_) return;
    print(frames, done_ >= 0 ? 1.0 : -1.0, Clock::now());
    std::fputc('\n', stderr);
}

void ProgressLine::print(std::uint64_t frames, double done, Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\rvelmo: %llu frames", static_cast<unsigned long long>(frames));
    if (done >= 0) std::fprintf(stderr, ", %.0f %%", 100.0 * std::min(done, 1.0));
    std::fprintf(stderr, ", %.1f frames/s", seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
    if (done > 0 && done < 1) {
        const long left = std::max(0L, static_cast<long>(seconds * (1 - done) / done + 0.5));
        std::fprintf(stderr, ", %ld:%02ld:%02ld left", left / 3600, left / 60 % 60, left % 60);
    }
    // Blanks over what a longer line before left.
    std::fputs("      ", stderr);
}
