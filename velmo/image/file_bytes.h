#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Whole files out, with the system's reason in every message (input_file.h reads them in).

// Writes the file whole or not at all, through an OutputFile (output_file.h): under a unique
// temporary name beside the target, then renamed over it; the temporary is removed on every failure
// and on an interruption. An existing file is replaced and keeps its permissions.
bool replaceFile(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error);
