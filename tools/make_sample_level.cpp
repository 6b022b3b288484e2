// Writes the bundled sample level (sample_level.h) to the path given.

#include <cstdio>

#include "tools/levelbuilder/sample_level.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s {output.qlv}\n", argc > 0 ? argv[0] : "make_sample_level");
        return 1;
    }
    return WriteLevelFile(argv[1], BuildLevel(DescribeSampleLevel()).bytes) ? 0 : 1;
}
