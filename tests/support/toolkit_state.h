#pragma once
// Toolkit state for tests: every test starts and ends with no error pending,
// no file open and an empty keyframer node list.

#include <cstdint>
#include <vector>

// Clears the errors, closes every toolkit file (a failed close still frees its
// record) and empties the node list.
void ResetToolkitState();

// The codes of the filled error entries, oldest first.
std::vector<int32_t> RaisedErrors();
// RaisedErrors, then clears the list for the next step of a test.
std::vector<int32_t> TakeErrors();
