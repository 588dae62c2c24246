#pragma once

#include <cstddef>
#include <string>

#include "velmo/image/interruption.h"

// What to do when the output's file exists already.
enum class ExistingOutput {
    Replace,  // the new file takes its place, with its permissions
    Refuse,   // refused when opening, and never replaced if it appears meanwhile
};

// The one way the tools write a file: whole or not at all. The bytes go to a temporary file beside
// the target, under a name no other writer picks (the target's own, hidden, with a random part), and
// the temporary is renamed over the target only by commit(). Destroying an OutputFile that was not
// committed removes the temporary; so does an interruption (see interruption.h), at any moment.
//
// A target that is a symbolic link is followed to the file it names, which is the one replaced (the
// link stays a link). A replaced file keeps its permission bits. A folder, a device, a FIFO or any
// other file that is not a regular file is refused as a target.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary for `path`. On failure returns false with a one-line `error` that names
    // `path` and the cause.
    bool open(const std::string& path, ExistingOutput existing, std::string& error);

    // Appends bytes to the temporary.
    bool write(const void* data, std::size_t size, std::string& error);

    // Writes the temporary to the disk, closes it and renames it over the target.
    bool commit(std::string& error);

    // Closes and removes the temporary, if there is one.
    void discard();

    // The path given to open(), as the user wrote it.
    const std::string& path() const { return path_; }
    // The file that commit() replaces: path() with its symbolic links followed.
    const std::string& target() const { return target_; }
    // For writers that take a descriptor (an FFmpeg I/O context, say): open for writing and seeking
    // until commit() or discard(). -1 when no temporary is open.
    int descriptor() const { return descriptor_; }
    const std::string& temporaryPath() const { return temporary_; }

private:
    std::string path_;
    std::string target_;
    std::string temporary_;
    int descriptor_ = -1;
    ExistingOutput existing_ = ExistingOutput::Replace;
    RemovedOnInterruption removal_;
};

// False with a one-line `error` when `output` is the file `input` names, by the same path, through a
// symbolic link or as a hard link (the same device and inode): writing it would destroy the input.
bool refuseInputAsOutput(const std::string& input, const std::string& output, std::string& error);
