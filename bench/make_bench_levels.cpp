// Writes the benchmark levels (bench_levels.h) into the directory given, as
// <name>.qlv each.

#include <cstdio>
#include <string>

#include "bench/bench_levels.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s {directory}\n", argc > 0 ? argv[0] : "make_bench_levels");
        return 1;
    }
    for (const BenchLevel& level : kBenchLevels) {
        const std::string path = std::string(argv[1]) + "/" + std::string(level.name) + ".qlv";
        if (!WriteLevelFile(path, BuildLevel(DescribeBenchLevel(level)).bytes)) {
            return 1;
        }
    }
    return 0;
}
