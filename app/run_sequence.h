#pragma once
// The run sequence: turns one accepted level into "KeshMesh.3ds" in the
// current directory through the 3DS toolkit.
//
// Standard output carries only the progress line. After every toolkit step
// the toolkit's pending-error flag is checked; on the first error the
// recorded toolkit messages are printed on standard error, newest first, and
// the process ends with kToolkitErrorExit (255 as the shell sees it). The
// output file then keeps whatever had been written to it.

#include "level/level_data.h"

inline constexpr const char* kOutputFileName = "KeshMesh.3ds";

// Exit code after a toolkit error.
inline constexpr int kToolkitErrorExit = -1;

// Prints "Creating 3ds mesh file 'KeshMesh.3ds'", clears the toolkit's
// errors, opens the output file (an existing one is overwritten), creates a
// new mesh database, converts the level into it (ConvertModel, which also
// writes the texture bitmaps), writes it, closes every toolkit file and
// releases the database. The level must have passed CheckLevelForConversion;
// the conversion marks and renumbers corners of its faces. Returns on
// success; ends the process with kToolkitErrorExit when the toolkit reports
// an error, and with exit code 1 when a bitmap cannot be written or memory
// runs out.
void RunConversion(LevelData& level);
