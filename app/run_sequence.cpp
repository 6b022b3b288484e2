#include "app/run_sequence.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "app/entry_point.h"
#include "convert/character_scene.h"
#include "convert/conversion_context.h"
#include "convert/gltf/gltf_writer.h"
#include "convert/model_assembly.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"
#include "toolkit3ds/file_io.h"
#include "toolkit3ds/toolkit_state.h"

namespace {

// Closes every toolkit file after a failed run: the output keeps exactly the
// bytes written to it so far, and a later run in this process starts with no
// file open. The error list is left as it was printed; an error of these
// closes is neither printed nor kept.
void CloseFilesAfterFailure() {
    const std::vector<int32_t> printed = TakeErrors3ds();
    ForceCloseAllFiles3ds();
    RaiseErrors3ds(printed);
}

int EndWithToolkitErrors() {
    // The file and the system's reason first, where a system call failed.
    PrintFileFailure3ds(stderr);
    PrintErrors3ds(stderr);
    CloseFilesAfterFailure();
    return kToolkitErrorExit;
}

int EndWithFailure(const ConversionFailure& failure) {
    PrintFailure(stderr, failure);
    CloseFilesAfterFailure();
    return kConversionFailedExit;
}

} // namespace

int RunConversion(LevelData& level) {
    std::printf("Creating 3ds mesh file '%s'\n", kOutputFileName);
    // The line comes before any output file exists, even when stdout is a pipe.
    std::fflush(stdout);
    ClearErrors3ds();

    File3ds* file = OpenFile3ds(kOutputFileName, "w");
    if (ErrorPending3ds) {
        return EndWithToolkitErrors();
    }
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    if (ErrorPending3ds) {
        return EndWithToolkitErrors();
    }
    CreateNewDatabase3ds(db.get(), kDatabaseMeshFile3ds);
    if (ErrorPending3ds) {
        return EndWithToolkitErrors();
    }

    ConversionContext context(level);
    ConvertModel(context, db.get());
    if (context.failure.happened) {
        return EndWithFailure(context.failure);
    }
    if (ErrorPending3ds) {
        return EndWithToolkitErrors();
    }

    WriteDatabase3ds(file, db.get());
    if (ErrorPending3ds) {
        return EndWithToolkitErrors();
    }
    // Closing flushes the output: a full disk shows up here at the latest.
    CloseAllFiles3ds();
    if (ErrorPending3ds) {
        return EndWithToolkitErrors();
    }
    ReleaseDatabase3ds(db);
    if (ErrorPending3ds) {
        return EndWithToolkitErrors();
    }
    return 0;
}

int RunGltfConversion(LevelData& level, const char* levelPath) {
    std::printf("Creating glTF file '%s'\n", kGltfFileName);
    std::fflush(stdout);
    ClearErrors3ds();

    ConversionContext context(level);
    CharacterScene scene;
    const bool built = BuildCharacterScene(context, scene);
    for (const std::string& warning : scene.warnings) {
        std::fprintf(stderr, "%s: warning: %s\n", levelPath, warning.c_str());
    }
    if (context.failure.happened) {
        return EndWithFailure(context.failure);
    }
    if (!built || ErrorPending3ds) {
        return EndWithToolkitErrors();
    }

    int errorNumber = 0;
    try {
        errorNumber = WriteGlbFile(scene, GeneratorName(), kGltfFileName);
    } catch (const std::bad_alloc&) {
        errorNumber = ENOMEM;
    }
    if (errorNumber != 0) {
        RecordFailure(context, kGltfFileName, errorNumber);
        return EndWithFailure(context.failure);
    }
    return 0;
}
