#include "velmo/video_frames.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/script_line.h"
#include "velmo/image/interruption.h"

// FFmpeg's bgr0 bytes are read as 0x00RRGGBB words, which they are on a little-endian machine.
static_assert(std::endian::native == std::endian::little, "bgr0 frames are read as little-endian words");

namespace {

constexpr long long kLargestSide = 16384;

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

// A program started with its standard output and error on pipes; its input is /dev/null.
class Child {
public:
    bool start(const std::vector<std::string>& arguments, std::string& error) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0) return error = "cannot create a pipe", false;
        if (pipe2(err, O_CLOEXEC) != 0) {
            close(out[0]), close(out[1]);
            return error = "cannot create a pipe", false;
        }
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        // Forked and registered as one step, so that an interruption always ends the child.
        const InterruptionsHeld held;
        pid_ = fork();
        if (pid_ == 0) {
            held.releaseInChild();
            const int null = open("/dev/null", O_RDONLY);
            if (null >= 0) dup2(null, STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        if (pid_ < 0) {
            close(out[0]), close(err[0]);
            return error = "cannot start " + arguments[0], false;
        }
        ended_.arm(pid_);
        out_ = out[0];
        err_ = err[0];
        return true;
    }

    // Reads both pipes to their end and waits for the child; true when it exited with 0.
    bool finish(std::string& output, std::string& errors) {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        std::string* sinks[2] = {&output, &errors};
        int open = 2;
        char buffer[65536];
        while (open > 0) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (int k = 0; k < 2; ++k) {
                if (fds[k].fd < 0 || fds[k].revents == 0) continue;
                const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
                if (got > 0) {
                    sinks[k]->append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    close(fds[k].fd);
                    fds[k].fd = -1;
                    --open;
                }
            }
        }
        for (const pollfd& fd : fds)
            if (fd.fd >= 0) close(fd.fd);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        ended_.disarm();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    EndedOnInterruption ended_;
};

// FFmpeg's own words for why it failed: the last line it wrote, without the file name it repeats.
std::string lastLine(const std::string& text, const std::string& path) {
    std::string line;
    std::stringstream lines(text);
    for (std::string next; std::getline(lines, next);)
        if (!next.empty()) line = next;
    const std::string prefix = path + ": ";
    if (line.rfind(prefix, 0) == 0) line = line.substr(prefix.size());
    return line.empty() ? "FFmpeg could not read it" : line;
}

struct VideoShape {
    long long w = 0, h = 0;
    double duration = 0;  // seconds; 0 when the file does not say
};

bool probe(const std::string& url, const std::string& path, VideoShape& shape, std::string& error) {
    Child child;
    if (!child.start(
            {"ffprobe", "-v", "error", "-select_streams", "V:0", "-show_entries",
             "stream=width,height,duration:format=duration", "-of", "default=noprint_wrappers=1", url},
            error))
        return false;
    std::string output, errors;
    if (!child.finish(output, errors))
        return error = "cannot read " + path + ": " + lastLine(errors, url), false;
    double streamDuration = 0, formatDuration = 0;
    bool stream = false;
    std::stringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "width") shape.w = std::atoll(value.c_str()), stream = true;
        if (key == "height") shape.h = std::atoll(value.c_str());
        // The stream's duration comes first; the container's follows it.
        if (key == "duration" && value != "N/A")
            (stream && streamDuration == 0 ? streamDuration : formatDuration) = std::atof(value.c_str());
    }
    if (!stream) return error = path + " has no video stream", false;
    if (shape.w <= 0 || shape.h <= 0 || shape.w > kLargestSide || shape.h > kLargestSide)
        return error =
                   path + ": unusable frame size " + std::to_string(shape.w) + "x" + std::to_string(shape.h),
               false;
    shape.duration = streamDuration > 0 ? streamDuration : formatDuration;
    return true;
}

// Several seeks in one ffmpeg: each sample is an input of its own, opened at its time, with an
// output of one raw frame into the folder. Starting ffmpeg costs more than a seek, so each child
// takes a batch of samples.
std::vector<std::string> seekArguments(const std::string& path, const std::vector<double>& times,
                                       const std::vector<std::string>& outputs) {
    std::vector<std::string> arguments{"ffmpeg", "-nostdin", "-v", "error", "-y"};
    for (const double time : times) {
        char seek[32];
        std::snprintf(seek, sizeof seek, "%.3f", time);
        arguments.insert(arguments.end(), {"-threads", "1", "-noautorotate", "-ss", seek, "-i", path});
    }
    for (std::size_t k = 0; k < outputs.size(); ++k)
        arguments.insert(arguments.end(), {"-map", std::to_string(k) + ":V:0", "-frames:v", "1", "-f",
                                           "rawvideo", "-pix_fmt", "bgr0", outputs[k]});
    return arguments;
}

std::vector<std::string> sequentialArguments(const std::string& path, int frames) {
    return {"ffmpeg",   "-nostdin", "-v",    "error",     "-noautorotate",        "-i",
            path,       "-map",     "0:V:0", "-frames:v", std::to_string(frames), "-f",
            "rawvideo", "-pix_fmt", "bgr0",  "-"};
}

// Splits raw bgr0 bytes into pictures; a partial frame at the end is left out.
void appendFrames(const std::string& bytes, const VideoShape& shape, std::vector<Picture>& frames) {
    const std::size_t frameBytes = static_cast<std::size_t>(shape.w * shape.h * 4);
    for (std::size_t offset = 0; offset + frameBytes <= bytes.size(); offset += frameBytes) {
        Picture picture;
        picture.w = static_cast<std::int32_t>(shape.w);
        picture.h = static_cast<std::int32_t>(shape.h);
        picture.pixels.resize(static_cast<std::size_t>(shape.w * shape.h));
        std::memcpy(picture.pixels.data(), bytes.data() + offset, frameBytes);
        for (Pixel32& pixel : picture.pixels)
            pixel &= 0x00FFFFFFu;  // the fourth byte is padding
        frames.push_back(std::move(picture));
    }
}

// One raw frame written by a child; false when the file is missing or not one whole frame (a
// seek past an inaccurate end writes nothing).
bool readRawFrame(const std::string& path, const VideoShape& shape, Picture& picture) {
    const std::size_t frameBytes = static_cast<std::size_t>(shape.w * shape.h * 4);
    std::error_code status;
    if (std::filesystem::file_size(path, status) != frameBytes || status) return false;
    std::ifstream file(path, std::ios::binary);
    picture.w = static_cast<std::int32_t>(shape.w);
    picture.h = static_cast<std::int32_t>(shape.h);
    picture.pixels.resize(static_cast<std::size_t>(shape.w * shape.h));
    file.read(reinterpret_cast<char*>(picture.pixels.data()), static_cast<std::streamsize>(frameBytes));
    if (file.gcount() != static_cast<std::streamsize>(frameBytes)) return false;
    for (Pixel32& pixel : picture.pixels)
        pixel &= 0x00FFFFFFu;  // the fourth byte is padding
    return true;
}

// A private folder for the children's frames, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        parent_ = tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
        std::string pattern = parent_ + "/velmo-suggest-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
        else
            reason_ = std::strerror(errno);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }
    // Why there is no folder: the folder it was to be made in, and the system's reason.
    std::string failure() const {
        return "cannot create a temporary folder in " + quotedName(parent_) + ": " + reason_ +
               " (TMPDIR names the folder)";
    }

private:
    std::string parent_;
    std::string path_;
    std::string reason_;
};

bool readSequentially(const std::string& path, const VideoShape& shape, int count,
                      std::vector<Picture>& frames, std::string& childError, std::string& error) {
    Child child;
    if (!child.start(sequentialArguments(path, count), error)) return false;
    std::string output, errors;
    if (!child.finish(output, errors)) childError = lastLine(errors, path);
    appendFrames(output, shape, frames);
    return true;
}

bool readBySeeking(const std::string& path, const VideoShape& shape, int count, std::vector<Picture>& frames,
                   std::string& childError, std::string& error) {
    ScratchFolder folder;
    if (folder.path().empty()) return error = folder.failure(), false;
    auto outputName = [&folder](int k) { return folder.path() + "/" + std::to_string(k) + ".bgr0"; };
    // Children at once, and samples per child: each open input holds a decoder's memory.
    constexpr int kChildren = 2, kBatch = 25;
    for (int first = 0; first < count; first += kChildren * kBatch) {
        Child children[kChildren];
        int started = 0;
        for (; started < kChildren; ++started) {
            std::vector<double> times;
            std::vector<std::string> outputs;
            for (int k = first + started; k < std::min(count, first + kChildren * kBatch); k += kChildren) {
                times.push_back(shape.duration * (k + 0.5) / count);
                outputs.push_back(outputName(k));
            }
            if (times.empty()) break;
            if (!children[started].start(seekArguments(path, times, outputs), error)) break;
        }
        for (int c = 0; c < started; ++c) {
            std::string output, errors;
            if (!children[c].finish(output, errors) && childError.empty())
                childError = lastLine(errors, path);
        }
        if (!error.empty()) return false;
    }
    for (int k = 0; k < count; ++k) {
        Picture frame;
        if (readRawFrame(outputName(k), shape, frame)) frames.push_back(std::move(frame));
    }
    return true;
}

}  // namespace

bool isStillPicture(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char head[8] = {};
    file.read(reinterpret_cast<char*>(head), sizeof head);
    const std::streamsize got = file.gcount();
    const bool png = got >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0;
    const bool bmp = got >= 2 && head[0] == 'B' && head[1] == 'M';
    const bool jpeg = got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    return png || bmp || jpeg;
}

bool readVideoFrames(const std::string& path, int count, std::vector<Picture>& frames, std::string& error) {
    for (const char* program : {"ffprobe", "ffmpeg"})
        if (!onPath(program))
            return error = std::string("cannot read videos: ") + program +
                           " is not installed (install FFmpeg, Debian package ffmpeg)",
                   false;
    std::error_code status;
    if (!std::filesystem::is_regular_file(path, status))
        return error = "cannot read " + path + ": " +
                       (std::filesystem::exists(path, status) ? "not a file" : "no such file"),
               false;
    if (std::filesystem::file_size(path, status) == 0)
        return error = "cannot read " + path + ": the file is empty", false;

    // FFmpeg reads "name:..." as a protocol and "-name" as an option; the file protocol spelt out
    // keeps every file name a file name.
    const std::string file = "file:" + path;
    VideoShape shape;
    if (!probe(file, path, shape, error)) return false;

    // Without a length to spread the samples over, the first frames are taken one after another.
    std::string childError;
    const bool read = shape.duration > 0 ? readBySeeking(file, shape, count, frames, childError, error)
                                         : readSequentially(file, shape, count, frames, childError, error);
    if (!read) return false;
    if (frames.empty())
        return error = "cannot read " + path + ": no frame could be decoded" +
                       (childError.empty() ? "" : " (" + childError + ")"),
               false;
    return true;
}
