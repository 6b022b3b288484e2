#pragma once
// tarvik-dump, the second program: shows the chunk tree of any 3DS file, or
// reads one and writes it again through the toolkit.
//
//   tarvik-dump FILE.3ds                   the chunk tree on standard output
//   tarvik-dump --write COPY.3ds FILE.3ds  reads FILE.3ds and writes COPY.3ds
//   tarvik-dump --help | --version
//
// Exit codes: 0 success; 1 a file that cannot be read or written (the tree
// read so far is printed first, then the toolkit's messages on standard
// error, newest first), or a wrong command line (help text on standard error).

#include <cstdio>

// Runs the whole program for one argument vector and returns the exit code.
int RunTarvikDump(int argc, char** argv);

// Writes the help text, naming the program as programName.
void PrintDumpUsage(std::FILE* stream, const char* programName);
