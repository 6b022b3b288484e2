#include "app/dump_entry_point.h"

#include "app/chunk_dump.h"
#include "app/entry_point.h"
#include "toolkit3ds/database_reader.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/toolkit_state.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// Used when the program is started without even its own name.
constexpr const char* kDefaultProgramName = "tarvik-dump";
constexpr int kFailureExit = 1;

bool IsOption(const char* argument, const char* option) {
    return std::strcmp(argument, option) == 0;
}

// Opens the file and reads it into a new database; the tree read so far is
// there even after an error, which stays pending.
std::unique_ptr<Database3ds> ReadFile(const char* path) {
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    if (ErrorPending3ds) {
        return db;
    }
    File3ds* file = OpenFile3ds(path, "r");
    if (ErrorPending3ds) {
        return db;
    }
    ReadDatabase3ds(file, db.get());
    return db;
}

// Prints the pending toolkit errors; the exit code of the run.
int Finish(std::unique_ptr<Database3ds>& db) {
    const bool failed = ErrorPending3ds;
    PrintErrors3ds(stderr);
    ClearErrors3ds();
    ReleaseDatabase3ds(db);
    CloseAllFiles3ds();
    return failed ? kFailureExit : 0;
}

int DumpFile(const char* path) {
    std::unique_ptr<Database3ds> db = ReadFile(path);
    const std::vector<int32_t> readErrors = TakeErrors3ds();
    if (db != nullptr) {
        DumpChunkTree(stdout, db->root.get());
    }
    std::fflush(stdout);
    // A broken record fails again in the dump; reading said where it stopped.
    if (!readErrors.empty()) {
        ClearErrors3ds();
        RaiseErrors3ds(readErrors);
    }
    return Finish(db);
}

int WriteCopy(const char* copyPath, const char* path) {
    // Writing over the file being read would lose it if the write failed.
    std::error_code error;
    if (std::filesystem::equivalent(copyPath, path, error)) {
        std::fprintf(stderr, "%s: the copy must not replace the file it is read from\n", copyPath);
        return kFailureExit;
    }
    std::unique_ptr<Database3ds> db = ReadFile(path);
    if (ErrorPending3ds) {
        return Finish(db);
    }
    File3ds* copy = OpenFile3ds(copyPath, "w");
    if (ErrorPending3ds) {
        return Finish(db);
    }
    WriteDatabase3ds(copy, db.get());
    // Closing flushes: a full disk shows up here at the latest.
    CloseFile3ds(copy);
    if (ErrorPending3ds) {
        // A half-written copy would pass for a good one.
        std::remove(copyPath);
    }
    return Finish(db);
}

} // namespace

void PrintDumpUsage(std::FILE* stream, const char* programName) {
    std::fprintf(stream, "tarvik-dump v%d.%d - shows the chunks of a 3D Studio file (Tarvik)\n\n",
                 kMajorVersion, kMinorVersion);
    std::fprintf(stream, "Usage: %s FILE.3ds\n", programName);
    std::fprintf(stream, "       %s --write COPY.3ds FILE.3ds\n\n", programName);
    std::fputs("The first form prints the file's chunk tree, one line per chunk, indented\n"
               "by depth: the tag in hexadecimal, its name, the chunk's length and its data\n"
               "in short form. The second reads FILE.3ds and writes it again as COPY.3ds\n"
               "through the toolkit that writes Tarvik's output.\n"
               "\n"
               "Exit code 0 on success, 1 when a file cannot be read or written: what\n"
               "could be read is printed first, then the toolkit's messages.\n",
               stream);
}

int RunTarvikDump(int argc, char** argv) {
    const char* programName = argc > 0 && argv[0] != nullptr ? argv[0] : kDefaultProgramName;
    if (argc == 2 && IsOption(argv[1], "--help")) {
        PrintDumpUsage(stdout, programName);
        return 0;
    }
    if (argc == 2 && IsOption(argv[1], "--version")) {
        std::printf("tarvik-dump v%d.%d\n", kMajorVersion, kMinorVersion);
        return 0;
    }
    ClearErrors3ds();
    if (argc == 2) {
        return DumpFile(argv[1]);
    }
    if (argc == 4 && IsOption(argv[1], "--write")) {
        return WriteCopy(argv[2], argv[3]);
    }
    PrintDumpUsage(stderr, programName);
    return kFailureExit;
}
