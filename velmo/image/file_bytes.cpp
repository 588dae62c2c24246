#include "velmo/image/file_bytes.h"

#include "velmo/image/output_file.h"

bool replaceFile(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error) {
    OutputFile file;
    return file.open(path, ExistingOutput::Replace, error) && file.write(bytes.data(), bytes.size(), error) &&
           file.commit(error);
}
