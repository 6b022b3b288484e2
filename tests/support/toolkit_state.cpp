#include "tests/support/toolkit_state.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/file_io.h"
#include "toolkit3ds/keyframer.h"

void ResetToolkitState() {
    do {
        ClearErrors3ds();
        CloseAllFiles3ds();
    } while (GetFileTable3ds() != nullptr);
    ClearErrors3ds();
    FreeNodeList3ds();
}

std::vector<int32_t> RaisedErrors() {
    std::vector<int32_t> codes;
    for (const ErrorRecord3ds& entry : ErrorList3ds()) {
        if (entry.code != 0) {
            codes.push_back(entry.code);
        }
    }
    return codes;
}

std::vector<int32_t> TakeErrors() {
    std::vector<int32_t> codes = RaisedErrors();
    ClearErrors3ds();
    return codes;
}
