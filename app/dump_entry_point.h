#pragma once
// tarvik-dump, the second program: shows the chunk tree of any 3DS file, or
// reads one and writes it again through the toolkit.
//
//   tarvik-dump [--full] FILE.3ds               the chunk tree on standard output
//   tarvik-dump FILE.3ds -o COPY.3ds [--force]  reads FILE.3ds and writes COPY.3ds
//   tarvik-dump --write COPY.3ds FILE.3ds       the same, in the older spelling
//   tarvik-dump -h | --help | --version         on standard output
//
// Options may stand in any order; "--" ends them. FILE.3ds may be a pipe,
// which is read to its root chunk's end. A copy is written to a temporary file
// beside COPY.3ds and renamed over it only once complete; an existing
// COPY.3ds is refused without --force, and FILE.3ds itself always.
//
// Exit codes: 0 success; 1 a file that cannot be read or written (the tree
// read so far is printed first, then on standard error a line saying what is
// wrong and where, a line with the file's name and the system's reason where
// one failed, and the toolkit's messages, newest first), or a wrong command
// line (a line naming the problem and the help text on standard error).

#include <cstdio>

// Runs the whole program for one argument vector and returns the exit code.
int RunTarvikDump(int argc, char** argv);

// Writes the help text, naming the program as programName.
void PrintDumpUsage(std::FILE* stream, const char* programName);
