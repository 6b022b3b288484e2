#include "app/run_sequence.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "convert/model_assembly.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/file_io.h"

namespace {

[[noreturn]] void ExitWithToolkitErrors() {
    PrintErrors3ds(stderr);
    std::exit(kToolkitErrorExit);
}

} // namespace

void RunConversion(LevelData& level) {
    std::printf("Creating 3ds mesh file '%s'\n", kOutputFileName);
    // The line comes before any output file exists, even when stdout is a pipe.
    std::fflush(stdout);
    ClearErrors3ds();

    File3ds* file = OpenFile3ds(kOutputFileName, "w");
    if (ErrorPending3ds) {
        ExitWithToolkitErrors();
    }
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    if (ErrorPending3ds) {
        ExitWithToolkitErrors();
    }
    CreateNewDatabase3ds(db.get(), kDatabaseMeshFile3ds);
    if (ErrorPending3ds) {
        ExitWithToolkitErrors();
    }

    ConvertModel(db.get(), level);
    if (ErrorPending3ds) {
        ExitWithToolkitErrors();
    }

    WriteDatabase3ds(file, db.get());
    if (ErrorPending3ds) {
        ExitWithToolkitErrors();
    }
    // Closing flushes the output: a full disk shows up here at the latest.
    CloseAllFiles3ds();
    if (ErrorPending3ds) {
        ExitWithToolkitErrors();
    }
    ReleaseDatabase3ds(db);
    if (ErrorPending3ds) {
        ExitWithToolkitErrors();
    }
}
