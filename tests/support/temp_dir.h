#pragma once
// Test helpers for the file system and for running the built program.

#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Makes a fresh directory under the system's temporary directory and makes it
// the working directory; the destructor goes back and removes it with all
// its contents. Every test that creates files works inside one of these.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Names of the entries of a directory, sorted; "." and ".." left out.
std::vector<std::string> ListDirectory(const std::string& path);
// Every file of a directory with its contents, by name.
std::map<std::string, Bytes> SnapshotDirectory(const std::string& path);

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

struct ProcessResult {
    int exitCode = -1; // as the shell sees it (0..255); -1 when killed by a signal
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs a program with the given arguments (argv[0] included) in the working
// directory cwd, and collects its output and exit code.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd);
