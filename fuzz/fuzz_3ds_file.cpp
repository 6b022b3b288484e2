// Fuzz target for 3DS file bytes: reads them into a database, says what is
// damaged (a file that cannot be read must say it), dumps the chunk tree and
// writes the database back. A file that
// reads and writes must read again from what was written and write the same
// bytes a second time.

#include "app/chunk_dump.h"
#include "toolkit3ds/database_reader.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/file_io.h"
#include "toolkit3ds/toolkit_state.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// This process's files in the temporary directory: the toolkit reads by name.
std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string(name) + "." + std::to_string(getpid()) + ".3ds"))
        .string();
}

const std::string kInput = TempPath("fuzz_3ds_input");
const std::string kCopy = TempPath("fuzz_3ds_copy");
const std::string kSecondCopy = TempPath("fuzz_3ds_second_copy");

// Removes the files when the process ends.
struct TempFiles {
    ~TempFiles() {
        for (const std::string* path : {&kInput, &kCopy, &kSecondCopy}) {
            std::remove(path->c_str());
        }
    }
} tempFiles;

std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Reads the file, dumps its tree and writes it to copyPath; true when all went well.
bool ReadDumpAndWrite(const std::string& path, const std::string& copyPath) {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    ReadDamage3ds damage;
    ReadDatabase3ds(OpenFile3ds(path.c_str(), "r"), db.get(), &damage);
    const bool read = !ErrorPending3ds;
    // A file that cannot be read always says what is wrong and where.
    if (!read && damage.kind == ReadDamage3ds::Kind::kNone) {
        std::abort();
    }
    std::fputs(DescribeDamage(damage).c_str(), sink);
    ClearErrors3ds();
    if (db != nullptr) {
        DumpChunkTree(sink, db->root.get());
    }
    ClearErrors3ds();
    bool written = false;
    if (read) {
        File3ds* copy = OpenFile3ds(copyPath.c_str(), "w");
        WriteDatabase3ds(copy, db.get());
        CloseFile3ds(copy);
        written = !ErrorPending3ds;
    }
    ReleaseDatabase3ds(db);
    ResetToolkit3ds();
    return written;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream input(kInput, std::ios::binary | std::ios::trunc);
        input.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!input) {
            std::abort();
        }
    }
    ResetToolkit3ds();
    if (ReadDumpAndWrite(kInput, kCopy)) {
        // What the toolkit writes it reads again, and writes unchanged.
        if (!ReadDumpAndWrite(kCopy, kSecondCopy) || ReadBytes(kCopy) != ReadBytes(kSecondCopy)) {
            std::abort();
        }
    }
    return 0;
}
