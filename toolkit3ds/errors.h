#pragma once
// Toolkit error reporting.
//
// Every toolkit operation reports failure the same way: it raises an error
// code, which records the code with its constant message in one toolkit-wide
// list and sets ErrorPending3ds, and then returns at once. Callers test
// ErrorPending3ds after every toolkit call and return at once when it is set.
// Nothing in the toolkit clears the flag; only ClearErrors3ds does.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Error codes. Codes 20 and 21 have no message of their own (21 is raised by
// the mesh put after a failed sub-chunk); they print as an unknown code.
enum ErrorCode3ds : int32_t {
    NO_TOOLKIT_ERRORS = 0,
    ERR_NO_MEM = 1,
    ERR_INVALID_ARG = 2,
    ERR_INVALID_DATA = 3,
    ERR_INVALID_CHUNK = 4,
    ERR_INVALID_DATABASE = 5,
    ERR_WRONG_DATABASE = 6,
    ERR_UNFOUND_CHUNK = 7,
    ERR_WRONG_OBJECT = 8,
    ERR_NO_SUCH_FILE = 9,
    ERR_INIT_FAILED = 10,
    ERR_OPENING_FILE = 11,
    ERR_CLOSING_FILE = 12,
    ERR_READING_FILE = 13,
    ERR_CREATING_DATABASE = 14,
    ERR_READING_DATABASE = 15,
    ERR_WRITING_DATABASE = 16,
    ERR_WRITING_FILE = 17,
    ERR_STRING_TOO_LONG = 18,
    ERR_TOO_MANY_FILES = 19,
    ERR_PUT_MESH_FAILED = 21,
    N_ERRORS = 22,
};

// One entry of the error list; code 0 marks an empty entry.
struct ErrorRecord3ds {
    int32_t code = 0;
    const char* message = nullptr; // constant text of ErrorMessage3ds(code), never a copy
};

inline constexpr int kErrorListSize3ds = 20;  // entries 0..18 take errors, entry 19 stays empty
inline constexpr int kRecordedErrors3ds = 19; // at most this many errors are recorded

// True from the first error raised until the next ClearErrors3ds.
extern bool ErrorPending3ds;

// Records an error: code 0 is ignored; any other code sets ErrorPending3ds and
// fills the first empty entry among 0..18. With those all filled only the flag
// and the overflow entry change: the first lost code goes into the overflow
// entry, any later one turns it into N_ERRORS.
void RaiseError3ds(int32_t code);

// Clears the flag and empties every entry, the overflow entry included, and
// forgets the file failure.
void ClearErrors3ds();

// Writes each recorded message with "%s\n", newest first (entry 19 down to 0).
// The overflow entry is not printed. Changes nothing; a null stream prints nothing.
void PrintErrors3ds(std::FILE* stream);

// The constant message of a code; "Unknown error code was encountered" for
// codes without an entry of their own.
const char* ErrorMessage3ds(int32_t code);

// Read-only view of the list, for tests and diagnostics.
const std::array<ErrorRecord3ds, kErrorListSize3ds>& ErrorList3ds();

// The overflow entry: empty until an error is raised with the list full.
const ErrorRecord3ds& ErrorOverflow3ds();

// --- The file behind a file error ---------------------------------------------
//
// A code says what failed, not which file or why. So that a caller can say
// "KeshMesh.3ds: Permission denied", the toolkit notes the file and the
// system's error number when a system call on a file fails, before it raises
// ERR_OPENING_FILE, ERR_READING_FILE, ERR_WRITING_FILE or ERR_CLOSING_FILE.
// Only the first failure is kept: later ones are mostly its consequences.

struct FileFailure3ds {
    std::string fileName; // as the file was opened; empty when none failed
    int systemError = 0;  // errno of the failed call; 0 when none failed
};

// Notes the failure unless one is noted already; a systemError of 0 is ignored.
void NoteFileFailure3ds(std::string_view fileName, int systemError);
// The noted failure; systemError 0 when there is none.
const FileFailure3ds& GetFileFailure3ds();
// Writes "name: reason\n" (the system's text for the error number) when a
// failure is noted; nothing otherwise, or for a null stream.
void PrintFileFailure3ds(std::FILE* stream);
