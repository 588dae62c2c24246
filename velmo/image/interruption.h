#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>

// What an interruption (Ctrl-C, SIGTERM, SIGHUP, a closed pipe) leaves behind: nothing. The signal's
// handler removes every temporary file registered here and ends every registered child, then the
// process exits with status 128 + the signal's number (130 for Ctrl-C, 143 for SIGTERM). It ends at
// once, even in a blocking read or a long decode, so no loop has to poll for it. Everything the
// handler does is async-signal-safe; the registry lives in fixed storage and is never freed while
// the handler could read it.
//
// On Windows there are no such signals: the registry exists, nothing acts on it.

// Installs the handler for SIGHUP, SIGINT, SIGTERM and SIGPIPE, on the calling thread, which the
// handler's work then always runs on (a signal another thread takes is passed on to it). A signal
// the program was started with ignored (nohup, a background job) stays ignored. Call once, first
// thing in main.
void installInterruptionHandlers();

// The largest path a registered temporary may have, and how many may be registered at once.
inline constexpr std::size_t kLongestRemovedPath = 4096;
inline constexpr int kMostRemovedFiles = 16;
inline constexpr int kMostEndedChildren = 16;

// A file the handler removes while this object holds it.
class RemovedOnInterruption {
public:
    RemovedOnInterruption() = default;
    ~RemovedOnInterruption() { disarm(); }
    RemovedOnInterruption(const RemovedOnInterruption&) = delete;
    RemovedOnInterruption& operator=(const RemovedOnInterruption&) = delete;

    // False when the path is too long or every place is taken.
    bool arm(const std::string& path);
    void disarm();

private:
    int slot_ = -1;
};

// A child process the handler ends (SIGTERM) while this object holds it.
class EndedOnInterruption {
public:
    EndedOnInterruption() = default;
    ~EndedOnInterruption() { disarm(); }
    EndedOnInterruption(const EndedOnInterruption&) = delete;
    EndedOnInterruption& operator=(const EndedOnInterruption&) = delete;

    bool arm(pid_t child);
    void disarm();

private:
    int slot_ = -1;
};

// While an object of this class lives, the handled signals wait on the calling thread, so that two
// steps happen as one: a file created and registered, a file renamed into place and forgotten, a
// child forked and registered. A signal that arrived meanwhile acts when the object goes.
class InterruptionsHeld {
public:
    InterruptionsHeld();
    ~InterruptionsHeld();
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

    // In a child just forked inside the scope: lets the signals through again before exec, which
    // would otherwise pass the held mask on to the new program.
    void releaseInChild() const;

private:
#ifndef _WIN32
    sigset_t previous_;
#endif
};
