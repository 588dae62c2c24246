#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Whole files out, with the system's reason in every message (input_file.h reads them in).

// Writes the file whole or not at all: under a unique temporary name in the target's folder (so two
// writers never share one, and no other file is overwritten), then renamed over the target. The
// temporary is removed on every failure.
bool replaceFile(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error);
