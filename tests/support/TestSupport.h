#pragma once
// Helpers shared by the test programs: a temporary folder that cleans up after
// itself, running a program (ffmpeg, our own tools) and reading or writing whole files.

#include <filesystem>
#include <string>
#include <vector>

namespace omm::test {

// A fresh, empty folder under the system's temporary folder, removed with everything
// in it when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell) and collects its exit status and output.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              int timeoutMs = 120000);

// Runs ffmpeg quietly with the given arguments; fails the current test when it fails.
bool ffmpeg(const std::vector<std::string>& args);

// Path of one of the project's built programs or libraries (build/bin/NAME).
std::filesystem::path builtProgram(const std::string& name);

std::vector<unsigned char> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);
void writeText(const std::filesystem::path& path, const std::string& text);

} // namespace omm::test
