#pragma once
// The program's entry point: checks the command line, loads the level and
// hands it on. Owns the help text and the exit codes:
//   0  success
//   1  bad command line (help text), a level file that cannot be opened
//      ("path: reason"), is not a version-45 level ("... does not appear to be
//      a valid QLV file, aborting..." and the help text), cannot be read
//      ("path: what is wrong at which byte") or cannot be converted ("path:
//      what is wrong and where", from CheckLevelForConversion, before any
//      output file is touched); a bitmap that cannot be written or memory
//      that runs out during the conversion ("name: reason")
//  255 (-1) the 3DS toolkit reported an error (run_sequence.h)
// Everything but the progress line goes to standard error.

#include <cstdio>
#include <string>

inline constexpr int kMajorVersion = 1;
inline constexpr int kMinorVersion = 0;

// "tarvik LEVEL" writes the 3DS scene and its bitmaps, "tarvik --gltf LEVEL"
// (the option in either place) one glTF file instead (run_sequence.h); a
// level named like an option is reached as ./--gltf.
//
// Runs the whole program for one argument vector and returns the exit code.
// "--help" alone prints the help text on standard output and "--version" one
// line "Tarvik v1.0"; both return 0.
// Ends the process itself (exit code 1) where the help text is printed.
int RunTarvik(int argc, char** argv);

// "Tarvik v1.0": the program and its version.
std::string GeneratorName();

// Writes the help text, naming the program as programName.
void PrintUsage(std::FILE* stream, const char* programName);

// Writes the help text to standard error and ends the process with exit code 1.
[[noreturn]] void PrintUsageAndExit(const char* programName);
