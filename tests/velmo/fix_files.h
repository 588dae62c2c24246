#pragma once

// What velmo fix's tests share: a private folder with the small files the captures are made from,
// files made there by the ffmpeg program, velmo fix run there without a shell, and ffprobe's answers
// as a map.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/velmo/test_files.h"

namespace velmo_test {

struct Outcome {
    int exitCode;
    std::string output;
    std::string errors;
};

using Fields = std::map<std::string, std::string>;

// ffprobe's flat output (section.entry.N.key="value") as a map, values unquoted.
inline Fields parseFlat(const std::string& text) {
    Fields fields;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        fields[line.substr(0, equals)] = value;
    }
    return fields;
}

class FixFiles : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-fix-test-" + std::to_string(getpid()));
        fs::create_directories(folder_);
        ASSERT_EQ(shell("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null"), 0)
            << "ffmpeg is missing: run tools/install-deps.sh";
        writeText("subs.srt",
                  "1\n00:00:00,040 --> 00:00:00,200\nFirst line\n\n2\n00:00:00,240 --> "
                  "00:00:00,300\nSecond line\n");
        writeText("chapters.txt",
                  ";FFMETADATA1\ntitle=Wedding tape 3\nartist=Archive\n\n[CHAPTER]\n"
                  "TIMEBASE=1/1000\nSTART=0\nEND=160\ntitle=Ceremony\n\n[CHAPTER]\n"
                  "TIMEBASE=1/1000\nSTART=160\nEND=320\ntitle=Dinner\n");
        writeText("notes.txt", "tape notes\n");
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    void writeText(const std::string& name, const std::string& text) const {
        writeBytes(path(name), Bytes(text.begin(), text.end()));
    }

    int shell(const std::string& command) const {
        const int status = std::system(("cd '" + folder_.string() + "' && " + command).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // What a command prints on standard output, run in the folder.
    std::string output(const std::string& command) const {
        const std::string file = path("command-output.txt");
        EXPECT_EQ(shell(command + " >'" + file + "'"), 0) << command;
        return readText(file);
    }

    std::string make(const std::string& name, const std::string& arguments) const {
        EXPECT_EQ(shell("ffmpeg -nostdin -loglevel error -y " + arguments + " '" + name + "'"), 0)
            << arguments;
        return path(name);
    }

    // Starts velmo fix with exactly these arguments (no shell) in the folder; its standard output
    // and error go to files of the folder's.
    pid_t startFix(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {VELMO_BINARY, "fix"});
        const fs::path here = fs::current_path();
        fs::current_path(folder_);
        const pid_t pid = startProgram(arguments, "", path("fix-stdout.txt"), path("fix-stderr.txt"));
        fs::current_path(here);
        return pid;
    }

    Outcome fix(const std::vector<std::string>& arguments) const {
        const int status = exitStatus(waitFor(startFix(arguments)));
        return Outcome{status, readText(path("fix-stdout.txt")), readText(path("fix-stderr.txt"))};
    }

    Fields probe(const std::string& file, const std::string& what) const {
        return parseFlat(output("ffprobe -v error -of flat " + what + " '" + file + "'"));
    }

    // The files in the folder besides the test's own notes and the given ones.
    std::vector<std::string> filesBesides(const std::vector<std::string>& known) const {
        std::vector<std::string> found;
        for (const std::string& name : namesIn(folder_))
            if (name.find("command-output") == std::string::npos && name.rfind("fix-std", 0) != 0 &&
                std::find(known.begin(), known.end(), name) == known.end())
                found.push_back(name);
        return found;
    }

    fs::path folder_;
};

}  // namespace velmo_test
