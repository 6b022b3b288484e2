#include "toolkit3ds/errors.h"

#include <cstring>
#include <new>

namespace {

constexpr const char* kUnknownErrorMessage = "Unknown error code was encountered";

// Indexed by code; codes 20 and 21 have no text of their own.
constexpr const char* kErrorMessages[N_ERRORS + 1] = {
    "NO_TOOLKIT_ERRORS: No errors are pending",
    "ERR_NO_MEM: Not enough memory to complete operation",
    "ERR_INVALID_ARG: The argument passed to the function is invalid.  Usually caused by a NULL "
    "pointer or an out of range numeric argument.",
    "ERR_INVALID_DATA: The structure passed as an argument to the function has invalid or out of "
    "range data in its fields.",
    "ERR_INVALID_CHUNK: An invalid chunk structure was encountered while reading the database. "
    "Usually caused by a corrupt database or file",
    "ERR_INVALID_DATABASE: The database passed as an argument has not be created yet.",
    "ERR_WRONG_DATABASE: The database passed as an argument is the wrong kind of database for "
    "this function.",
    "ERR_UNFOUND_CHUNK: The database is missing important file chunks needed to fill out the "
    "requested structure.  Usually caused by a corrupt database or file",
    "ERR_WRONG_OBJECT: The name passed to the functions exists, but is not the type of object "
    "asked for.  For example, asking for a mesh object with the GetCameraByName3ds function.",
    "ERR_NO_SUCH_FILE: The filename passed as an argument for reading does not exist",
    "ERR_INIT_FAILED: Failed to initialize structure passed as an argument",
    "ERR_OPENING_FILE: Could not open requested file",
    "ERR_CLOSING_FILE: Could not close requested file",
    "ERR_READING_FILE: Error occured while reading file",
    "ERR_CREATING_DATABASE: Error occured while creating database",
    "ERR_READING_DATABASE: Error occured while reading database",
    "ERR_WRITING_DATABASE: Error occured while writing database",
    "ERR_WRITING_FILE: Error occured while writing file",
    "ERR_STRING_TOO_LONG: String encountered in file, structure, or as an argument was longer "
    "than expected.  Possibly caused by an uninitialed pointer, corrupt file or database",
    "ERR_TOO_MANY_FILES: The toolkit has reached its maximum open file limit of 252 files.",
    kUnknownErrorMessage,
    kUnknownErrorMessage,
    "N_ERRORS: More errors were reported then could be recorded.",
};

// All error state but the flag, which callers read directly.
struct ErrorState3ds {
    std::array<ErrorRecord3ds, kErrorListSize3ds> list{};
    ErrorRecord3ds overflow{};  // the first code lost to a full list, or N_ERRORS after more
    FileFailure3ds fileFailure; // the first failed system call on a file
};

ErrorState3ds errorState;

} // namespace

bool ErrorPending3ds = false;

const char* ErrorMessage3ds(int32_t code) {
    if (code < 0 || code > N_ERRORS) {
        return kUnknownErrorMessage;
    }
    return kErrorMessages[code];
}

void RaiseError3ds(int32_t code) {
    if (code == NO_TOOLKIT_ERRORS) {
        return;
    }
    ErrorPending3ds = true;
    // The filled entries form one run from entry 0, so the first empty one is the end of it.
    for (int i = 0; i < kRecordedErrors3ds; ++i) {
        if (errorState.list[i].code == NO_TOOLKIT_ERRORS) {
            errorState.list[i] = {code, ErrorMessage3ds(code)};
            errorState.list[i + 1] = {};
            return;
        }
    }
    if (errorState.overflow.code == NO_TOOLKIT_ERRORS) {
        errorState.overflow = {code, ErrorMessage3ds(code)};
    } else {
        errorState.overflow = {N_ERRORS, ErrorMessage3ds(N_ERRORS)};
    }
}

void ClearErrors3ds() {
    ErrorPending3ds = false;
    errorState = {};
}

void PrintErrors3ds(std::FILE* stream) {
    if (stream == nullptr) {
        return;
    }
    for (int i = kErrorListSize3ds - 1; i >= 0; --i) {
        const ErrorRecord3ds& entry = errorState.list[i];
        if (entry.code != NO_TOOLKIT_ERRORS) {
            std::fprintf(stream, "%s\n", entry.message);
        }
    }
}

const std::array<ErrorRecord3ds, kErrorListSize3ds>& ErrorList3ds() {
    return errorState.list;
}

const ErrorRecord3ds& ErrorOverflow3ds() {
    return errorState.overflow;
}

void NoteFileFailure3ds(std::string_view fileName, int systemError) {
    FileFailure3ds& failure = errorState.fileFailure;
    if (systemError == 0 || failure.systemError != 0) {
        return;
    }
    // The note only adds words to a code already raised: without memory for
    // the name it is left out.
    try {
        failure.fileName = fileName;
        failure.systemError = systemError;
    } catch (const std::bad_alloc&) {
        failure = {};
    }
}

const FileFailure3ds& GetFileFailure3ds() {
    return errorState.fileFailure;
}

void PrintFileFailure3ds(std::FILE* stream) {
    const FileFailure3ds& failure = errorState.fileFailure;
    if (stream != nullptr && failure.systemError != 0) {
        std::fprintf(stream, "%s: %s\n", failure.fileName.c_str(),
                     std::strerror(failure.systemError));
    }
}
