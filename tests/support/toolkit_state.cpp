#include "tests/support/toolkit_state.h"

#include "toolkit3ds/errors.h"

Codes RaisedErrors() {
    Codes codes;
    for (const ErrorRecord3ds& entry : ErrorList3ds()) {
        if (entry.code != 0) {
            codes.push_back(entry.code);
        }
    }
    return codes;
}

Codes TakeErrors() {
    return TakeErrors3ds();
}
