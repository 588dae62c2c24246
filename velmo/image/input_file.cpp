#include "velmo/image/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/script_line.h"

namespace {

#ifdef _WIN32
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
// Without O_NONBLOCK, opening a FIFO waits for a writer; a regular file reads the same either way.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

// What a file that is not a regular file is, in the words of the message.
const char* kindOf(const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return "a folder";
#ifndef _WIN32
    if (S_ISFIFO(status.st_mode)) return "a FIFO (named pipe)";
    if (S_ISSOCK(status.st_mode)) return "a socket";
    if (S_ISBLK(status.st_mode)) return "a block device";
#endif
    if (S_ISCHR(status.st_mode)) return "a character device";
    return "something else";
}

}  // namespace

InputFile::~InputFile() {
    if (descriptor_ >= 0) close(descriptor_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), size_(other.size_), path_(std::move(other.path_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) close(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        size_ = other.size_;
        path_ = std::move(other.path_);
    }
    return *this;
}

bool InputFile::open(const std::string& path, std::string& error) {
    *this = InputFile();
    const int descriptor = ::open(path.c_str(), kOpenFlags);
    if (descriptor < 0) {
        error = "cannot open " + quotedName(path) + ": " + std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        error = "cannot read " + quotedName(path) + ": " + std::strerror(errno);
        close(descriptor);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "cannot read " + quotedName(path) + ": " + kindOf(status) + ", not a file";
        close(descriptor);
        return false;
    }
    descriptor_ = descriptor;
    size_ = static_cast<std::uint64_t>(status.st_size);
    path_ = path;
    return true;
}

bool readInputFile(const std::string& path, std::size_t limit, std::vector<unsigned char>& bytes,
                   std::string& error) {
    InputFile file;
    if (!file.open(path, error)) return false;
    if (file.size() > limit) {
        error = "cannot read " + quotedName(path) + ": the file is " + std::to_string(file.size()) +
                " bytes, more than any picture velmo reads";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(file.size()));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        const auto got = read(file.descriptor(), bytes.data() + done, chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "cannot read " + quotedName(path) + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return true;
}
