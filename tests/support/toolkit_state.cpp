#include "tests/support/toolkit_state.h"

// Taken and raised again in order, which leaves the list as it was.
Codes RaisedErrors() {
    Codes codes = TakeErrors3ds();
    RaiseErrors3ds(codes);
    return codes;
}
