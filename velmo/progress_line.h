#pragma once

#include <chrono>
#include <cstdint>

// Frames done and frames per second on standard error, on one line that keeps being rewritten; only
// when standard error is a terminal, and at most twice a second. Where the whole is known, the part
// done and the time left too.
class ProgressLine {
public:
    ProgressLine();
    void update(std::uint64_t frames);
    // `done` is the part of the work done, 0 to 1; negative when unknown.
    void update(std::uint64_t frames, double done);
    // The last figures, and the line ended.
    void finish(std::uint64_t frames);

private:
    using Clock = std::chrono::steady_clock;
    void print(std::uint64_t frames, double done, Clock::time_point now) const;
    bool shown_;
    Clock::time_point start_;
    Clock::time_point last_;
    double done_ = -1;
};
