#pragma once
// The converter's fatal error: a file that cannot be written or an allocation
// that fails ends the program here.

#include <string_view>

// Writes what, ": ", the system's description of errno as it was on entry,
// and a newline to standard error as one line, then ends the process with
// exit code 1. Never returns.
[[noreturn]] void FatalError(std::string_view what);

// The same with an explicit error number, for failures that do not set errno
// (a caught std::bad_alloc is reported with ENOMEM).
[[noreturn]] void FatalError(std::string_view what, int errorNumber);
