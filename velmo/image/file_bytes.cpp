#include "velmo/image/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr int kBinary = O_BINARY;
constexpr int kCloseOnExec = 0;
int syncFile(int descriptor) {
    return _commit(descriptor);
}
#else
constexpr int kBinary = 0;
constexpr int kCloseOnExec = O_CLOEXEC;
int syncFile(int descriptor) {
    return fsync(descriptor);
}
#endif

std::string systemReason() {
    return std::strerror(errno);
}

// A name no other writer picks: the target's own name, hidden, with a random part.
std::string temporaryNameFor(const fs::path& target, std::mt19937_64& random) {
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += suffix;
    name += ".part";
    return (folder / name).string();
}

bool writeAll(int descriptor, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
        const auto written = write(descriptor, data, chunk);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool replaceFile(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error) {
    const fs::path target(path);
    std::mt19937_64 random(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        std::random_device{}());
    std::string temporary;
    int descriptor = -1;
    // Mode 0666 less the umask, as any new file gets.
    for (int attempt = 0; attempt < 16 && descriptor < 0; ++attempt) {
        temporary = temporaryNameFor(target, random);
        descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | kBinary | kCloseOnExec, 0666);
        if (descriptor < 0 && errno != EEXIST) break;
    }
    if (descriptor < 0) {
        error = "cannot create " + path + ": " + systemReason();
        return false;
    }
    const bool written = writeAll(descriptor, bytes.data(), bytes.size()) && syncFile(descriptor) == 0;
    const std::string writeReason = written ? std::string() : systemReason();
    const bool closed = close(descriptor) == 0;
    std::error_code renameError;
    if (written && closed) fs::rename(temporary, target, renameError);
    if (written && closed && !renameError) return true;
    const std::string reason = !written ? writeReason : !closed ? systemReason() : renameError.message();
    std::remove(temporary.c_str());
    error = "cannot write " + path + ": " + reason;
    return false;
}
