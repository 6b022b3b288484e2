// Level bytes -> ReadLevel -> CheckLevelForConversion -> the whole run
// sequence for the 3DS scene, then, from a fresh read, the glTF scene and file,
// writing into a scratch directory that is made once per process and
// becomes the working directory (so give libFuzzer absolute paths).
//
// A level that passes the checks must convert with exit code 0. The one other
// accepted end of the 3DS run is the toolkit's ERR_INVALID_DATA, alone, for a
// level that gives a body part no vertices. The glTF scene must be built and
// written whatever its skeleton and animations hold (damage only gives
// warnings). Any other end aborts, so that libFuzzer keeps the input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "app/run_sequence.h"
#include "convert/body_parts.h"
#include "convert/character_scene.h"
#include "convert/conversion_context.h"
#include "convert/gltf/gltf_writer.h"
#include "convert/level_checks.h"
#include "level/level_reader.h"
#include "toolkit3ds/errors.h"

namespace {

std::filesystem::path gScratch;

void RemoveScratch() {
    std::error_code error;
    std::filesystem::remove_all(gScratch, error);
}

void EnterScratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    gScratch = pattern;
    std::filesystem::current_path(gScratch);
    std::atexit(RemoveScratch);
    // The progress line of every run would only slow fuzzing down.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
}

// Files of one run must not pile up over millions of runs.
void EmptyScratch() {
    for (const auto& entry : std::filesystem::directory_iterator(gScratch)) {
        std::filesystem::remove_all(entry.path());
    }
}

// A body part whose mesh the file itself gives no vertices; a mesh left
// empty because decoding stopped before it does not count.
bool HasPartWithoutVertices(const LevelData& level) {
    for (const BodyPart& part : kBodyParts) {
        const bool decoded =
            !level.meshDecodingStop.has_value() || part.meshNumber < *level.meshDecodingStop;
        if (decoded && level.meshes[part.meshNumber].vertices.empty()) {
            return true;
        }
    }
    return false;
}

// Runs the conversion with standard error sent to /dev/null, for a level
// whose toolkit message is expected and would only flood the log. (A crash
// report in such a run is lost too; the input is still kept for a replay.)
int RunConversionQuietly(LevelData& level) {
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(null);
    const int exitCode = RunConversion(level);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    return exitCode;
}

bool OnlyErrorIs(int32_t code) {
    const auto& errors = ErrorList3ds();
    return errors[0].code == code && errors[1].code == NO_TOOLKIT_ERRORS;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (gScratch.empty()) {
        EnterScratch();
    }
    LevelLoadResult loaded = ReadLevel(std::span(data, size));
    if (loaded.status != LevelLoadStatus::Loaded ||
        !CheckLevelForConversion(loaded.level).empty()) {
        return 0;
    }
    const bool emptyPart = HasPartWithoutVertices(loaded.level);
    const int exitCode =
        emptyPart ? RunConversionQuietly(loaded.level) : RunConversion(loaded.level);
    EmptyScratch();
    if (exitCode != 0 &&
        !(exitCode == kToolkitErrorExit && emptyPart && OnlyErrorIs(ERR_INVALID_DATA))) {
        std::fprintf(stderr,
                     "a level that passed the checks ended the conversion with exit code %d\n",
                     exitCode);
        std::abort();
    }

    // The 3DS run marked and renumbered the level's faces: read it afresh.
    // The glTF run's steps are called directly, so that its warnings need no
    // silencing and a crash report is never lost.
    LevelLoadResult again = ReadLevel(std::span(data, size));
    ClearErrors3ds(); // what the 3DS run left
    ConversionContext context(again.level);
    CharacterScene scene;
    const bool built = BuildCharacterScene(context, scene);
    const int written = built ? WriteGlbFile(scene, "fuzz", kGltfFileName) : -1;
    EmptyScratch();
    if (written != 0) {
        std::fprintf(stderr, "a level that passed the checks ended the glTF run: %s\n",
                     built ? std::strerror(written) : "the scene could not be built");
        std::abort();
    }
    return 0;
}
