#include "app/dump_entry_point.h"

#include "app/chunk_dump.h"
#include "app/entry_point.h"
#include "toolkit3ds/database_reader.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/toolkit_state.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Used when the program is started without even its own name.
constexpr const char* kDefaultProgramName = "tarvik-dump";
constexpr int kFailureExit = 1;
// Temporary files: a stream's bytes in the system's temporary directory, a
// copy being written beside its final name.
constexpr const char* kStreamTempPattern = "tarvik-dump-XXXXXX";
constexpr const char* kCopyTempPattern = ".tarvik-dump-XXXXXX";

struct DumpCommand {
    const char* file = nullptr; // FILE.3ds
    const char* copy = nullptr; // COPY.3ds, or none to dump
    bool force = false;
    DumpOptions options;
    bool help = false;
    bool version = false;
    std::string problem; // what is wrong with the command line, or empty
};

DumpCommand ParseCommand(int argc, char** argv) {
    DumpCommand command;
    bool optionsEnded = false;
    const auto setCopy = [&command](const char* copy) {
        if (command.copy != nullptr) {
            command.problem = "only one copy can be written";
        }
        command.copy = copy;
    };
    for (int i = 1; i < argc && command.problem.empty(); ++i) {
        const std::string_view argument = argv[i];
        const bool takesValue = argument == "-o" || argument == "--output" || argument == "--write";
        if (optionsEnded || argument == "-" || !argument.starts_with("-")) {
            if (command.file != nullptr) {
                command.problem = "more than one file to read: ";
                command.problem += argument;
            }
            command.file = argv[i];
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            command.help = true;
        } else if (argument == "--version") {
            command.version = true;
        } else if (argument == "--force") {
            command.force = true;
        } else if (argument == "--full") {
            command.options.full = true;
        } else if (takesValue && i + 1 < argc) {
            setCopy(argv[++i]);
        } else if (takesValue) {
            command.problem = std::string(argument) + " needs the name of the copy";
        } else {
            command.problem = "unknown option " + std::string(argument);
        }
    }
    if (command.problem.empty() && command.file == nullptr && !command.help && !command.version) {
        command.problem = "no file to read";
    }
    return command;
}

// --- Temporary files ------------------------------------------------------------------

// The copy being written, removed if a signal ends the program first.
char pendingCopy[4096];

extern "C" void RemovePendingCopy(int signal) {
    unlink(pendingCopy);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Signals that end the program; a signal ignored when it started stays ignored
// (a write beyond the file size limit then fails instead).
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
void (*previousHandlers[std::size(kEndingSignals)])(int);

void GuardPendingCopy(const std::string& path) {
    if (path.size() >= sizeof pendingCopy) {
        return;
    }
    std::memcpy(pendingCopy, path.c_str(), path.size() + 1);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
        previousHandlers[i] = std::signal(kEndingSignals[i], RemovePendingCopy);
        if (previousHandlers[i] == SIG_IGN) {
            std::signal(kEndingSignals[i], SIG_IGN);
        }
    }
}

void ReleasePendingCopy() {
    if (pendingCopy[0] == '\0') {
        return;
    }
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
        std::signal(kEndingSignals[i], previousHandlers[i]);
    }
    pendingCopy[0] = '\0';
}

// A new empty file made from the pattern in the directory; its name, or empty
// (errno set) when it cannot be made.
std::string MakeTempFile(const std::filesystem::path& directory, const char* pattern) {
    std::string name = (directory / pattern).string();
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        return {};
    }
    close(descriptor);
    return name;
}

// --- Reading --------------------------------------------------------------------------

// The file being read: its name as given, and the temporary file that holds a
// stream's bytes, if any.
struct Input {
    std::string path;
    std::string tempPath;
};

// Copies a stream (a pipe, a terminal) into a temporary file, which can be
// read as a file: up to the end of the root chunk its first six bytes
// announce, or those bytes alone when they announce none. False after a
// message.
bool HoldStream(Input& input) {
    std::FILE* stream = std::fopen(input.path.c_str(), "rb");
    if (stream == nullptr) {
        std::fprintf(stderr, "%s: %s\n", input.path.c_str(), std::strerror(errno));
        return false;
    }
    unsigned char header[kChunkHeaderSize3ds] = {};
    const size_t headerBytes = std::fread(header, 1, sizeof header, stream);
    uint64_t wanted = headerBytes;
    if (headerBytes == sizeof header && IsRootTag3ds(header[0] | (header[1] << 8))) {
        const uint64_t length =
            header[2] | (header[3] << 8) | (header[4] << 16) | (uint64_t{header[5]} << 24);
        // A longer file is refused by the reader: its positions pass 31 bits.
        wanted = std::clamp<uint64_t>(length, headerBytes,
                                      uint64_t{std::numeric_limits<int32_t>::max()} + 1);
    }
    input.tempPath = MakeTempFile(std::filesystem::temp_directory_path(), kStreamTempPattern);
    std::FILE* held = input.tempPath.empty() ? nullptr : std::fopen(input.tempPath.c_str(), "wb");
    int heldError = held == nullptr ? errno : 0; // of the first failed call on the held copy
    if (heldError == 0 && std::fwrite(header, 1, headerBytes, held) != headerBytes) {
        heldError = errno;
    }
    char buffer[65536];
    for (uint64_t left = wanted - headerBytes; heldError == 0 && left > 0;) {
        const size_t count = std::fread(buffer, 1, std::min<uint64_t>(left, sizeof buffer), stream);
        if (count == 0) {
            break; // the reader tells what the end of the stream cut short
        }
        if (std::fwrite(buffer, 1, count, held) != count) {
            heldError = errno;
        }
        left -= count;
    }
    const int readError = std::ferror(stream) != 0 ? errno : 0;
    if (held != nullptr && std::fclose(held) != 0 && heldError == 0) {
        heldError = errno;
    }
    std::fclose(stream);
    if (readError != 0) {
        std::fprintf(stderr, "%s: %s\n", input.path.c_str(), std::strerror(readError));
    } else if (heldError != 0) {
        std::fprintf(stderr, "%s: cannot hold the stream in %s: %s\n", input.path.c_str(),
                     std::filesystem::temp_directory_path().c_str(), std::strerror(heldError));
    }
    if (readError != 0 || heldError != 0) {
        if (!input.tempPath.empty()) {
            std::remove(input.tempPath.c_str());
        }
        return false;
    }
    return true;
}

// Opens the input and reads it into a new database; the tree read so far is
// there even after an error, which stays pending with the damage found. A
// stream's temporary file is removed once open: the toolkit reads it on.
// False, after a message, when a stream cannot be held.
bool ReadInput(Input& input, std::unique_ptr<Database3ds>& db, ReadDamage3ds& damage) {
    struct stat status {};
    const bool isStream = stat(input.path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
                          !S_ISDIR(status.st_mode);
    if (isStream && !HoldStream(input)) {
        return false;
    }
    InitDatabase3ds(db);
    if (ErrorPending3ds) {
        return true;
    }
    const std::string& readPath = isStream ? input.tempPath : input.path;
    File3ds* file = OpenFile3ds(readPath.c_str(), "r");
    if (isStream) {
        std::remove(readPath.c_str());
    }
    if (ErrorPending3ds) {
        return true;
    }
    ReadDatabase3ds(file, db.get(), &damage);
    return true;
}

// --- Ending -----------------------------------------------------------------------------

// Prints what went wrong: the damage found in the input, the file whose system
// call failed (by the name the user gave, not a temporary one), and the
// pending toolkit messages; then releases everything. The exit code of the run.
int Finish(std::unique_ptr<Database3ds>& db, const Input& input, const ReadDamage3ds& damage,
           const std::string& copyPath = {}, const std::string& copyTemp = {}) {
    const bool failed = ErrorPending3ds;
    if (failed) {
        const std::string problem = DescribeDamage(damage);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", input.path.c_str(), problem.c_str());
        }
        const FileFailure3ds& failure = GetFileFailure3ds();
        if (failure.systemError != 0) {
            const std::string& name = failure.fileName == input.tempPath && !input.tempPath.empty()
                                          ? input.path
                                      : failure.fileName == copyTemp ? copyPath
                                                                     : failure.fileName;
            std::fprintf(stderr, "%s: %s\n", name.c_str(), std::strerror(failure.systemError));
        }
    }
    PrintErrors3ds(stderr);
    ClearErrors3ds();
    ReleaseDatabase3ds(db);
    ForceCloseAllFiles3ds();
    return failed ? kFailureExit : 0;
}

int DumpFile(const DumpCommand& command) {
    Input input{command.file, {}};
    ReadDamage3ds damage;
    std::unique_ptr<Database3ds> db;
    if (!ReadInput(input, db, damage)) {
        return kFailureExit;
    }
    const std::vector<int32_t> readErrors = TakeErrors3ds();
    if (db != nullptr) {
        DumpChunkTree(stdout, db->root.get(), command.options);
    }
    std::fflush(stdout);
    // A broken record fails again in the dump; reading said where it stopped.
    if (!readErrors.empty()) {
        TakeErrors3ds();
        RaiseErrors3ds(readErrors);
    }
    return Finish(db, input, damage);
}

// Writes the database to a temporary file beside the copy's name and renames
// it over that name once complete; nothing is left behind on failure. False
// when it failed, with the toolkit's errors pending or after a message.
bool WriteCopy(Database3ds* db, const std::string& copyPath, std::string& tempPath) {
    const std::filesystem::path target(copyPath);
    std::filesystem::path directory = target.parent_path();
    tempPath = MakeTempFile(directory.empty() ? "." : directory, kCopyTempPattern);
    if (tempPath.empty()) {
        std::fprintf(stderr, "%s: %s\n", copyPath.c_str(), std::strerror(errno));
        return false;
    }
    // The copy gets the mode of the file it replaces, or that of a new file.
    struct stat status {};
    mode_t mode = 0666;
    if (stat(copyPath.c_str(), &status) == 0) {
        mode = status.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    chmod(tempPath.c_str(), mode);
    GuardPendingCopy(tempPath);

    File3ds* copy = OpenFile3ds(tempPath.c_str(), "w");
    if (!ErrorPending3ds) {
        WriteDatabase3ds(copy, db);
        // Closing flushes: a full disk shows up here at the latest.
        CloseFile3ds(copy);
    }
    bool written = !ErrorPending3ds;
    if (written && std::rename(tempPath.c_str(), copyPath.c_str()) != 0) {
        std::fprintf(stderr, "%s: %s\n", copyPath.c_str(), std::strerror(errno));
        written = false;
    }
    if (!written) {
        std::remove(tempPath.c_str());
    }
    ReleasePendingCopy();
    return written;
}

int CopyFile(const DumpCommand& command) {
    const std::string copyPath = command.copy;
    // Writing over the file being read would lose it if the write failed.
    std::error_code error;
    if (std::filesystem::equivalent(copyPath, command.file, error)) {
        std::fprintf(stderr, "%s: the copy must not replace the file it is read from\n",
                     copyPath.c_str());
        return kFailureExit;
    }
    struct stat status {};
    if (!command.force && lstat(copyPath.c_str(), &status) == 0) {
        std::fprintf(stderr, "%s: exists; add --force to replace it\n", copyPath.c_str());
        return kFailureExit;
    }
    Input input{command.file, {}};
    ReadDamage3ds damage;
    std::unique_ptr<Database3ds> db;
    if (!ReadInput(input, db, damage)) {
        return kFailureExit;
    }
    if (ErrorPending3ds) {
        return Finish(db, input, damage);
    }
    std::string tempPath;
    const bool written = WriteCopy(db.get(), copyPath, tempPath);
    const int exitCode = Finish(db, input, damage, copyPath, tempPath);
    return written ? exitCode : kFailureExit;
}

} // namespace

void PrintDumpUsage(std::FILE* stream, const char* programName) {
    std::fprintf(stream, "tarvik-dump v%d.%d - shows the chunks of a 3D Studio file (Tarvik)\n\n",
                 kMajorVersion, kMinorVersion);
    std::fprintf(stream, "Usage: %s [--full] FILE.3ds\n", programName);
    std::fprintf(stream, "       %s FILE.3ds -o COPY.3ds [--force]\n\n", programName);
    std::fputs("The first form prints the file's chunk tree, one line per chunk, indented\n"
               "by depth: the tag in hexadecimal, its name, the chunk's length and its data\n"
               "with the values labelled. The second reads FILE.3ds and writes it again as\n"
               "COPY.3ds through the toolkit that writes Tarvik's output. FILE.3ds may be a\n"
               "pipe, such as /dev/stdin. Names longer than the format allows are read,\n"
               "shown marked and written back as they are.\n"
               "\n"
               "Options, in any order (-- ends them):\n"
               "  -o, --output COPY.3ds  write the copy there, through a temporary file\n"
               "                         renamed over it once complete; FILE.3ds itself\n"
               "                         is never replaced\n"
               "  --force                replace COPY.3ds when it exists already\n"
               "  --full                 show every element of long lists\n"
               "  --write COPY.3ds       the older spelling of -o, as in\n"
               "                         \"--write COPY.3ds FILE.3ds\"; kept for this\n"
               "                         release only\n"
               "  -h, --help             show this help on standard output\n"
               "  --version              show the version on standard output\n"
               "\n"
               "Exit code 0 on success, 1 when a file cannot be read or written or the\n"
               "command line is wrong. What could be read is printed first; then standard\n"
               "error says what is wrong and where, and gives the toolkit's messages.\n",
               stream);
}

int RunTarvikDump(int argc, char** argv) {
    const char* programName = argc > 0 && argv[0] != nullptr ? argv[0] : kDefaultProgramName;
    const DumpCommand command = ParseCommand(argc, argv);
    if (!command.problem.empty()) {
        std::fprintf(stderr, "%s: %s\n\n", programName, command.problem.c_str());
        PrintDumpUsage(stderr, programName);
        return kFailureExit;
    }
    if (command.help) {
        PrintDumpUsage(stdout, programName);
        return 0;
    }
    if (command.version) {
        std::printf("tarvik-dump v%d.%d\n", kMajorVersion, kMinorVersion);
        return 0;
    }
    ClearErrors3ds();
    return command.copy == nullptr ? DumpFile(command) : CopyFile(command);
}
