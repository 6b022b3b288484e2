#pragma once
// The run sequence: turns one accepted level into "KeshMesh.3ds" in the
// current directory through the 3DS toolkit.
//
// Standard output carries only the progress line. After every toolkit step
// the toolkit's pending-error flag is checked; on the first error the
// recorded toolkit messages are printed on standard error, newest first,
// after a line "file: reason" where a system call on a file failed, and the
// run ends with kToolkitErrorExit (255 as the shell sees it). The output
// file then keeps whatever had been written to it. Nothing here ends the
// process, and every run starts afresh: one process may convert many levels.

#include "level/level_data.h"

inline constexpr const char* kOutputFileName = "KeshMesh.3ds";
inline constexpr const char* kGltfFileName = "KeshMesh.glb";

// Exit code after a toolkit error.
inline constexpr int kToolkitErrorExit = -1;
// Exit code after a bitmap that cannot be written or memory that runs out.
inline constexpr int kConversionFailedExit = 1;

// Prints "Creating 3ds mesh file 'KeshMesh.3ds'", clears the toolkit's
// errors, opens the output file (an existing one is overwritten), creates a
// new mesh database, converts the level into it (ConvertModel, which also
// writes the texture bitmaps), writes it, closes every toolkit file and
// releases the database. The level must have passed CheckLevelForConversion;
// the conversion marks and renumbers corners of its faces. Returns the exit
// code: 0 on success; kToolkitErrorExit after the toolkit's messages;
// kConversionFailedExit after "name: reason" on standard error when a bitmap
// cannot be written or memory runs out. Every toolkit file is closed when it
// returns.
int RunConversion(LevelData& level);

// Prints "Creating glTF file 'KeshMesh.glb'", builds the character scene
// (convert/character_scene.h) from the level, prints each of its warnings as
// "levelPath: warning: ..." on standard error, and writes the scene as one
// binary glTF file, replacing an existing one only once the new one is
// complete. Writes no bitmap and no 3DS file. The level must have passed
// CheckLevelForConversion. Returns 0 on success (warnings included);
// kConversionFailedExit after "name: reason" on standard error when the file
// cannot be written or memory runs out; kToolkitErrorExit after the
// toolkit's messages when building a part's record fails there.
int RunGltfConversion(LevelData& level, const char* levelPath);
