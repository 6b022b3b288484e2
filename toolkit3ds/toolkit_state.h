#pragma once
// The toolkit's process-wide state as a whole: the file table, the error list
// and the keyframer node list.

#include <cstdint>
#include <vector>

// The recorded error codes, oldest first; the list is cleared. A noted file
// failure (errors.h) stays noted.
std::vector<int32_t> TakeErrors3ds();
// Raises the codes in order, so that the error list holds them again.
void RaiseErrors3ds(const std::vector<int32_t>& codes);

// Closes every toolkit file like CloseAllFiles3ds, but goes on past a failed
// close (its record is freed all the same). The errors of the closes are
// dropped: the error list ends empty.
void ForceCloseAllFiles3ds();

// Closes every file, clears the errors and empties the node list: the state a
// new run in the same process starts from.
void ResetToolkit3ds();
