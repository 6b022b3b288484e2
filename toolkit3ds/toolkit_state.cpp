#include "toolkit3ds/toolkit_state.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/file_io.h"
#include "toolkit3ds/keyframer.h"

std::vector<int32_t> TakeErrors3ds() {
    std::vector<int32_t> codes;
    for (const ErrorRecord3ds& entry : ErrorList3ds()) {
        if (entry.code != NO_TOOLKIT_ERRORS) {
            codes.push_back(entry.code);
        }
    }
    // The file behind the errors stays noted for whoever prints them.
    const FileFailure3ds failure = GetFileFailure3ds();
    ClearErrors3ds();
    NoteFileFailure3ds(failure.fileName, failure.systemError);
    return codes;
}

void RaiseErrors3ds(const std::vector<int32_t>& codes) {
    for (const int32_t code : codes) {
        RaiseError3ds(code);
    }
}

void ForceCloseAllFiles3ds() {
    // CloseAllFiles3ds stops at a failed close; each pass closes at least one file.
    do {
        ClearErrors3ds();
        CloseAllFiles3ds();
    } while (GetFileTable3ds() != nullptr);
    ClearErrors3ds();
}

void ResetToolkit3ds() {
    ForceCloseAllFiles3ds();
    FreeNodeList3ds();
}
