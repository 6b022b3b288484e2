#pragma once
// The toolkit's process-wide state as a whole: the file table, the error list
// and the keyframer node list.

// Closes every toolkit file (a failed close still frees its record and is not
// kept), clears the errors and empties the node list: the state a new run in
// the same process starts from.
void ResetToolkit3ds();
