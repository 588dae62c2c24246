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

bool readFileBytes(const std::string& path, std::size_t limit, std::vector<unsigned char>& bytes,
                   std::string& error) {
    const int descriptor = open(path.c_str(), O_RDONLY | kBinary | kCloseOnExec);
    if (descriptor < 0) {
        error = "cannot open " + path + ": " + systemReason();
        return false;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "cannot read " + path + ": " +
                (S_ISDIR(status.st_mode) ? "Is a directory" : "not a regular file");
        close(descriptor);
        return false;
    }
    if (static_cast<std::uint64_t>(status.st_size) > limit) {
        error = "cannot read " + path + ": the file is " + std::to_string(status.st_size) +
                " bytes, more than any picture velmo reads";
        close(descriptor);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        const auto got = read(descriptor, bytes.data() + done, chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "cannot read " + path + ": " + systemReason();
            close(descriptor);
            return false;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    close(descriptor);
    return true;
}

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
