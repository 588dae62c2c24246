#include "velmo/image/interruption.h"

#ifndef _WIN32
#include <pthread.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

// A slot is free, being filled (the handler skips it), or armed.
enum SlotState : int { kFree, kFilling, kArmed };

struct RemovedFile {
    std::atomic<int> state{kFree};
    char path[kLongestRemovedPath];
};

RemovedFile gRemovedFiles[kMostRemovedFiles];
std::atomic<pid_t> gEndedChildren[kMostEndedChildren];

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the handler reads the registry without locks");

#ifndef _WIN32

constexpr int kHandledSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGPIPE};

pthread_t gHandlingThread;
bool gHandled[std::size(kHandledSignals)];  // not ignored at start

sigset_t handledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kHandledSignals)
        sigaddset(&set, signal);
    return set;
}

void cleanUp() {
    for (RemovedFile& file : gRemovedFiles)
        if (file.state.load() == kArmed) unlink(file.path);
    for (std::atomic<pid_t>& child : gEndedChildren) {
        const pid_t pid = child.load();
        if (pid > 0) kill(pid, SIGTERM);
    }
}

extern "C" void onInterruption(int signal) {
    const int savedErrno = errno;
    // Only the installing thread touches the registry from a handler, so no handler runs while
    // another thread's handler reads a slot.
    if (!pthread_equal(pthread_self(), gHandlingThread)) {
        pthread_kill(gHandlingThread, signal);
        errno = savedErrno;
        return;
    }
    cleanUp();
    // The status scripts and other programs check for an interrupted run, whatever reads it.
    _exit(128 + signal);
}

#endif

}  // namespace

void installInterruptionHandlers() {
#ifndef _WIN32
    gHandlingThread = pthread_self();
    struct sigaction action {};
    action.sa_handler = onInterruption;
    action.sa_mask = handledSignals();  // one handler at a time
    action.sa_flags = SA_RESTART;
    for (std::size_t k = 0; k < std::size(kHandledSignals); ++k) {
        struct sigaction before {};
        sigaction(kHandledSignals[k], nullptr, &before);
        gHandled[k] = before.sa_handler != SIG_IGN;
        if (gHandled[k]) sigaction(kHandledSignals[k], &action, nullptr);
    }
#endif
}

bool RemovedOnInterruption::arm(const std::string& path) {
    disarm();
    if (path.size() >= kLongestRemovedPath) return false;
    for (int k = 0; k < kMostRemovedFiles; ++k) {
        int expected = kFree;
        if (!gRemovedFiles[k].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(gRemovedFiles[k].path, path.c_str(), path.size() + 1);
        gRemovedFiles[k].state.store(kArmed);
        slot_ = k;
        return true;
    }
    return false;
}

void RemovedOnInterruption::disarm() {
    if (slot_ < 0) return;
    gRemovedFiles[slot_].state.store(kFree);
    slot_ = -1;
}

bool EndedOnInterruption::arm(pid_t child) {
    disarm();
    for (int k = 0; k < kMostEndedChildren; ++k) {
        pid_t expected = 0;
        if (gEndedChildren[k].compare_exchange_strong(expected, child)) {
            slot_ = k;
            return true;
        }
    }
    return false;
}

void EndedOnInterruption::disarm() {
    if (slot_ < 0) return;
    gEndedChildren[slot_].store(0);
    slot_ = -1;
}

#ifndef _WIN32

InterruptionsHeld::InterruptionsHeld() {
    const sigset_t held = handledSignals();
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

InterruptionsHeld::~InterruptionsHeld() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptionsHeld::releaseInChild() const {
    // The child must not act on the parent's registry: the default actions first, then the mask.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (std::size_t k = 0; k < std::size(kHandledSignals); ++k)
        if (gHandled[k]) sigaction(kHandledSignals[k], &fallback, nullptr);
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

#else

InterruptionsHeld::InterruptionsHeld() = default;
InterruptionsHeld::~InterruptionsHeld() = default;
void InterruptionsHeld::releaseInChild() const {}

#endif
