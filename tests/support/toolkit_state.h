#pragma once
// The toolkit's error list for tests; ResetToolkit3ds starts each test afresh.

#include "toolkit3ds/toolkit_state.h"

#include <cstdint>
#include <vector>

using Codes = std::vector<int32_t>;

// The codes of the filled error entries, oldest first.
Codes RaisedErrors();
