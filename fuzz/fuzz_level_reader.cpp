// Level bytes -> ReadLevel -> released. Every input either loads or is refused
// with one line; anything else (a crash, a sanitizer report, a leak, a huge
// allocation) is a finding.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "level/level_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const LevelLoadResult result = ReadLevel(std::span(data, size));
    const bool loaded = result.status == LevelLoadStatus::Loaded;
    if (loaded != result.problem.empty() || result.problem.find('\n') != std::string::npos) {
        std::abort();
    }
    return 0;
}
