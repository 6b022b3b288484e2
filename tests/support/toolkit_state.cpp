#include "tests/support/toolkit_state.h"

#include "toolkit3ds/errors.h"

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
