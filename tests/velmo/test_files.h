#pragma once

// What velmo's tests share: a private folder, files in and out of it, programs run without a
// shell (so that any file name passes as it is) with their status as a shell would show it, and a
// still the finder reads.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "velmo/image/picture.h"

namespace velmo_test {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

inline Bytes readBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

inline void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readText(const fs::path& path) {
    const Bytes bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The names in a folder, sorted, hidden ones included.
inline std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The names of the temporaries an OutputFile leaves if it is not cleaned up: ".NAME.<hex>.part".
inline std::vector<std::string> temporariesIn(const fs::path& folder) {
    std::vector<std::string> found;
    for (const std::string& name : namesIn(folder))
        if (name.size() > 6 && name[0] == '.' && name.ends_with(".part")) found.push_back(name);
    return found;
}

// The status a program exited with; a program killed by a signal gives minus its number, so that it
// never passes for one that exited with 128 + the signal's number.
inline int exitStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) return -WTERMSIG(waitStatus);
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1000;
}

// Starts a program with these arguments, standard input, output and error from and to these files
// (empty: /dev/null for input, inherited for the others). Returns its process id.
inline pid_t startProgram(const std::vector<std::string>& arguments, const std::string& input,
                          const std::string& output, const std::string& errors) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
    if (in >= 0) dup2(in, STDIN_FILENO);
    if (!output.empty()) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) dup2(out, STDOUT_FILENO);
    }
    if (!errors.empty()) {
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, STDERR_FILENO);
    }
    execv(argv[0], argv.data());
    _exit(127);
}

inline int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// A still velmo suggest finds a zone in: smooth texture, and a sharp black bar of 10 columns at the
// left (margin 11, or 12 where a single frame leaves the edge's spread in doubt).
inline Picture stillWithBar() {
    Picture picture{400, 300, {}};
    for (int y = 0; y < picture.h; ++y)
        for (int x = 0; x < picture.w; ++x) {
            const double level =
                120 + 50 * std::sin(x * 0.05 + y * 0.02) + 30 * std::sin(x * 0.31) * std::cos(y * 0.23);
            const Pixel32 v = x < 10 ? 0 : static_cast<Pixel32>(level);
            picture.pixels.push_back((v << 16) | (v << 8) | (v / 2));
        }
    return picture;
}

}  // namespace velmo_test
