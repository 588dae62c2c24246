#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An input file, open for reading. Opening never blocks (a FIFO without a writer would hold a plain
// open() forever) and refuses, before any byte is read, whatever is not a regular file: a FIFO, a
// device, a socket or a folder. The checked file is the one read: the descriptor stays open, so a
// name swapped after the check changes nothing.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // On failure returns false with a one-line `error` naming the file and the cause, such as
    // "cannot read in.mkv: a FIFO (named pipe), not a file".
    bool open(const std::string& path, std::string& error);

    int descriptor() const { return descriptor_; }
    std::uint64_t size() const { return size_; }
    const std::string& path() const { return path_; }

private:
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
    std::string path_;
};

// Reads the whole of a regular file, refusing one larger than `limit` bytes.
bool readInputFile(const std::string& path, std::size_t limit, std::vector<unsigned char>& bytes,
                   std::string& error);
