#include "velmo/image/output_file.h"

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

#include "core/script_line.h"

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

std::string systemReason(int number = errno) {
    return std::strerror(number);
}

// A name no other writer picks: the target's own name, hidden, with a random part. The target's
// name is cut so that the whole stays within the 255 bytes a name may have.
std::string temporaryNameFor(const fs::path& target, std::mt19937_64& random) {
    constexpr std::size_t kLongestKept = 200;
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string name = ".";
    name += target.filename().string().substr(0, kLongestKept);
    name += '.';
    name += suffix;
    name += ".part";
    return (folder / name).string();
}

#ifndef _WIN32

// The file a path finally names, its symbolic links followed one by one (a link may name a file that
// does not exist yet: that file is created). False with errno set when the links cannot be read.
bool followLinks(std::string path, std::string& target) {
    constexpr int kMostLinks = 40;  // as the kernel allows in one path
    for (int links = 0; links <= kMostLinks; ++links) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT) return false;
            target = path;
            return true;
        }
        if (!S_ISLNK(status.st_mode)) {
            target = path;
            return true;
        }
        std::string next(static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)) + 256, '\0');
        const ssize_t length = readlink(path.c_str(), next.data(), next.size());
        if (length < 0) return false;
        next.resize(static_cast<std::size_t>(length));
        const fs::path named(next);
        path = named.is_absolute() ? next : (fs::path(path).parent_path() / named).string();
    }
    errno = ELOOP;
    return false;
}

// A new file's name that appears only if nothing has that name yet.
int renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: a hard link is made only where no name is.
    if (link(from.c_str(), to.c_str()) != 0) return -1;
    unlink(from.c_str());
    return 0;
}

#else

bool followLinks(std::string path, std::string& target) {
    target = path;
    return true;
}

int renameWithoutReplacing(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());  // the C library's rename never replaces here
}

#endif

bool writeAll(int descriptor, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
        const auto written = ::write(descriptor, data, chunk);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool OutputFile::open(const std::string& path, ExistingOutput existing, std::string& error) {
    discard();
    path_ = path;
    existing_ = existing;
    const std::string shown = quotedName(path);
    if (path.empty()) return error = "cannot write " + shown + ": the name is empty", false;
    if (!followLinks(path, target_)) return error = "cannot write " + shown + ": " + systemReason(), false;

    struct stat status {};
    const bool exists = stat(target_.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) return error = "cannot write " + shown + ": it is a folder", false;
    if (exists && !S_ISREG(status.st_mode))
        return error = "cannot write " + shown + ": not a regular file", false;
    if (exists && existing == ExistingOutput::Refuse)
        return error = "cannot write " + shown + ": the file exists already", false;

    std::mt19937_64 random(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        std::random_device{}());
    // Created and registered as one step, so that an interruption never leaves it behind.
    const InterruptionsHeld held;
    for (int attempt = 0; attempt < 16 && descriptor_ < 0; ++attempt) {
        temporary_ = temporaryNameFor(fs::path(target_), random);
        // Mode 0666 less the umask, as any new file gets; a replaced file's own mode follows.
        descriptor_ = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | kBinary | kCloseOnExec, 0666);
        if (descriptor_ < 0 && errno != EEXIST) break;
    }
    if (descriptor_ < 0) {
        const std::string reason = systemReason();
        temporary_.clear();
        return error = "cannot create " + shown + ": " + reason, false;
    }
    if (!removal_.arm(temporary_)) {
        discard();
        return error = "cannot create " + shown + ": too many files being written at once", false;
    }
#ifndef _WIN32
    if (exists && fchmod(descriptor_, status.st_mode & 0777) != 0) {
        const std::string reason = systemReason();
        discard();
        return error = "cannot keep the permissions of " + shown + ": " + reason, false;
    }
#endif
    return true;
}

bool OutputFile::write(const void* data, std::size_t size, std::string& error) {
    if (descriptor_ < 0) return error = "cannot write " + quotedName(path_) + ": the file is not open", false;
    if (writeAll(descriptor_, static_cast<const unsigned char*>(data), size)) return true;
    error = "cannot write " + quotedName(path_) + ": " + systemReason();
    return false;
}

bool OutputFile::commit(std::string& error) {
    const std::string shown = quotedName(path_);
    if (descriptor_ < 0) return error = "cannot write " + shown + ": the file is not open", false;
    const bool synced = syncFile(descriptor_) == 0;
    const std::string syncReason = synced ? std::string() : systemReason();
    const bool closed = ::close(descriptor_) == 0;
    const std::string closeReason = closed ? std::string() : systemReason();
    descriptor_ = -1;
    if (!synced || !closed) {
        discard();
        return error = "cannot write " + shown + ": " + (synced ? closeReason : syncReason), false;
    }
    // Renamed and forgotten as one step: an interruption in between would remove the new file.
    const InterruptionsHeld held;
    std::error_code renameError;
    if (existing_ == ExistingOutput::Refuse) {
        if (renameWithoutReplacing(temporary_, target_) != 0)
            renameError = std::error_code(errno, std::generic_category());
    } else {
        fs::rename(temporary_, target_, renameError);
    }
    if (renameError) {
        discard();
        const std::string reason =
            renameError == std::errc::file_exists ? "the file exists already" : renameError.message();
        return error = "cannot write " + shown + ": " + reason, false;
    }
    removal_.disarm();
    temporary_.clear();
    return true;
}

void OutputFile::discard() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
    if (!temporary_.empty()) std::remove(temporary_.c_str());
    removal_.disarm();
    temporary_.clear();
}

bool refuseInputAsOutput(const std::string& input, const std::string& output, std::string& error) {
    std::error_code ignored;
    // Compares the device and inode both names lead to, links followed; false when either is missing.
    if (!fs::equivalent(fs::path(input), fs::path(output), ignored)) return true;
    error = "cannot write " + quotedName(output) + ": it is the input file " + quotedName(input) +
            " (the output must be another file)";
    return false;
}
