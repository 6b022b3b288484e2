// Writes the bundled sample level (sample_level.h) to the path given.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/levelbuilder/sample_level.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s {output.qlv}\n", argc > 0 ? argv[0] : "make_sample_level");
        return 1;
    }
    const BuiltLevel built = BuildLevel(DescribeSampleLevel());
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    const bool written =
        std::fwrite(built.bytes.data(), 1, built.bytes.size(), file) == built.bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(written ? errno : writeError));
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
