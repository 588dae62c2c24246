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
#include <cstdint>
#include <cstring>

#include "core/script_line.h"
#include "velmo/image/output_file.h"

namespace {

#ifdef _WIN32
constexpr int kBinary = O_BINARY;
constexpr int kCloseOnExec = 0;
#else
constexpr int kBinary = 0;
constexpr int kCloseOnExec = O_CLOEXEC;
#endif

std::string systemReason() {
    return std::strerror(errno);
}

}  // namespace

bool readFileBytes(const std::string& path, std::size_t limit, std::vector<unsigned char>& bytes,
                   std::string& error) {
    const std::string shown = quotedName(path);
    const int descriptor = open(path.c_str(), O_RDONLY | kBinary | kCloseOnExec);
    if (descriptor < 0) {
        error = "cannot open " + shown + ": " + systemReason();
        return false;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "cannot read " + shown + ": " +
                (S_ISDIR(status.st_mode) ? "Is a directory" : "not a regular file");
        close(descriptor);
        return false;
    }
    if (static_cast<std::uint64_t>(status.st_size) > limit) {
        error = "cannot read " + shown + ": the file is " + std::to_string(status.st_size) +
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
            error = "cannot read " + shown + ": " + systemReason();
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
    OutputFile file;
    return file.open(path, ExistingOutput::Replace, error) && file.write(bytes.data(), bytes.size(), error) &&
           file.commit(error);
}
