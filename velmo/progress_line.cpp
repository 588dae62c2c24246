#include "velmo/progress_line.h"

#include <unistd.h>

#include <cstdio>

ProgressLine::ProgressLine() : shown_(isatty(STDERR_FILENO) != 0), start_(Clock::now()), last_(start_) {}

void ProgressLine::update(std::uint64_t frames) {
    if (!shown_) return;
    const Clock::time_point now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(500)) return;
    last_ = now;
    print(frames, now);
}

void ProgressLine::finish(std::uint64_t frames) {
    if (!shown_) return;
    print(frames, Clock::now());
    std::fputc('\n', stderr);
}

void ProgressLine::print(std::uint64_t frames, Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\rvelmo: %llu frames, %.1f frames/s ", static_cast<unsigned long long>(frames),
                 seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
}
