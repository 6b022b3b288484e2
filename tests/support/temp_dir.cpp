#include "tests/support/temp_dir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
    std::string pattern = (fs::temp_directory_path() / "tarvik-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
    previous_ = fs::current_path().string();
    fs::current_path(path_);
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, Bytes> SnapshotDirectory(const std::string& path) {
    std::map<std::string, Bytes> files;
    for (const std::string& name : ListDirectory(path)) {
        files[name] = ReadFileBytes(path + "/" + name);
    }
    return files;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd) {
    // Output goes to files outside cwd, so the program's directory stays as it left it.
    std::string outPath = (fs::temp_directory_path() / "tarvik-run-XXXXXX").string();
    std::string errPath = outPath;
    int outFd = mkstemp(outPath.data());
    int errFd = mkstemp(errPath.data());
    if (outFd < 0 || errFd < 0) {
        throw std::runtime_error("mkstemp failed");
    }

    pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        if (chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(outFd);
    close(errFd);

    ProcessResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    const auto take = [](const std::string& path) {
        const Bytes bytes = ReadFileBytes(path);
        std::remove(path.c_str());
        return std::string(bytes.begin(), bytes.end());
    };
    result.out = take(outPath);
    result.err = take(errPath);
    return result;
}
