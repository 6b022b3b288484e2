#include "app/entry_point.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/run_sequence.h"
#include "convert/level_checks.h"
#include "level/level_reader.h"

namespace {

// Used when the program is started without even its own name.
constexpr const char* kDefaultProgramName = "tarvik";
constexpr const char* kGltfOption = "--gltf";

} // namespace

void PrintUsage(std::FILE* stream, const char* programName) {
    std::fprintf(stream, "Tarvik v%d.%d - QLV character to 3D Studio converter, provided as is\n",
                 kMajorVersion, kMinorVersion);
    std::fprintf(stream, "Thanks to everyone who worked out the QLV level layout,\n");
    std::fprintf(stream, "and to everyone who documented the 3DS chunk format.\n\n");
    std::fprintf(stream, "Usage: %s {filename.qlv}\n", programName);
    std::fprintf(stream, "       %s --gltf {filename.qlv}\n\n", programName);
    std::fputs("Output consists of KESHMESH.3DS and a potentially large number of bitmap\n"
               "files.  To insure proper shading after importing into 3D Studio, weld each\n"
               "individual mesh's vertices together.\n"
               "\n"
               "On levels where Kesh is wearing a jacket, her legs and neck appear to be\n"
               "improperly coloured.  This is because her legs and neck are normally textured\n"
               "(like the rest of her), but on the jacket levels her legs and neck are coloured\n"
               "polygons and the colours don't match up.  You can easily fix this in the\n"
               "Material Editor of 3D Studio.\n"
               "\n"
               "With --gltf, output is KESHMESH.GLB instead: one glTF 2.0 file with her parts\n"
               "in her joint hierarchy, their textures, and every animation of hers that the\n"
               "level holds, for Blender and other current 3D tools.\n"
               "\n",
               stream);
}

std::string GeneratorName() {
    return "Tarvik v" + std::to_string(kMajorVersion) + "." + std::to_string(kMinorVersion);
}

void PrintUsageAndExit(const char* programName) {
    PrintUsage(stderr, programName);
    std::exit(1);
}

int RunTarvik(int argc, char** argv) {
    const char* programName = argc > 0 && argv[0] != nullptr ? argv[0] : kDefaultProgramName;
    // A level named like an option stays reachable as ./--help.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout, programName);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", GeneratorName().c_str());
        return 0;
    }
    // The level and, in either place, the option --gltf.
    const char* path = nullptr;
    bool gltf = false;
    if (argc == 2 && std::strcmp(argv[1], kGltfOption) != 0) {
        path = argv[1];
    } else if (argc == 3 && std::strcmp(argv[1], kGltfOption) == 0) {
        path = argv[2];
        gltf = true;
    } else if (argc == 3 && std::strcmp(argv[2], kGltfOption) == 0) {
        path = argv[1];
        gltf = true;
    } else {
        PrintUsageAndExit(programName);
    }

    LevelLoadResult loaded = LoadLevel(path);
    switch (loaded.status) {
    case LevelLoadStatus::Loaded:
        break;
    case LevelLoadStatus::NotLevelFile:
        std::fprintf(stderr, "%s does not appear to be a valid QLV file, aborting...\n", path);
        PrintUsageAndExit(programName);
    case LevelLoadStatus::CannotOpen:
    case LevelLoadStatus::Unreadable:
        std::fprintf(stderr, "%s: %s\n", path, loaded.problem.c_str());
        return 1;
    }

    // Everything the conversion indexes is checked before any output file
    // is created or truncated.
    const std::string problem = CheckLevelForConversion(loaded.level);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", path, problem.c_str());
        return 1;
    }
    return gltf ? RunGltfConversion(loaded.level, path) : RunConversion(loaded.level);
}
