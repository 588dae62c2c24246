#pragma once

#include <chrono>
#include <cstdint>

// Frames done and frames per second on standard error, on one line that keeps being rewritten; only
// when standard error is a terminal, and at most twice a second.
class ProgressLine {
public:
    ProgressLine();
    void update(std::uint64_t frames);
    // The last figures, and the line ended.
    void finish(std::uint64_t frames);

private:
    using Clock = std::chrono::steady_clock;
    void print(std::uint64_t frames, Clock::time_point now) const;
    bool shown_;
    Clock::time_point start_;
    Clock::time_point last_;
};
