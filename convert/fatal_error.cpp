#include "convert/fatal_error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

inline constexpr int kFatalExitCode = 1;

} // namespace

void FatalError(std::string_view what) {
    FatalError(what, errno);
}

void FatalError(std::string_view what, int errorNumber) {
    // No allocation here: this also reports exhausted memory.
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(what.size()), what.data(),
                 std::strerror(errorNumber));
    std::exit(kFatalExitCode);
}
