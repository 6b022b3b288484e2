#pragma once
// The toolkit's error list for tests; ResetToolkit3ds starts each test afresh.

#include "toolkit3ds/toolkit_state.h"

#include <cstdint>
#include <vector>

// The codes of the filled error entries, oldest first.
std::vector<int32_t> RaisedErrors();
// RaisedErrors, then clears the list for the next step of a test.
std::vector<int32_t> TakeErrors();
