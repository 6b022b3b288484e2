#include "toolkit3ds/toolkit_state.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/file_io.h"
#include "toolkit3ds/keyframer.h"

void ResetToolkit3ds() {
    // CloseAllFiles3ds stops at a failed close; each pass closes at least one file.
    do {
        ClearErrors3ds();
        CloseAllFiles3ds();
    } while (GetFileTable3ds() != nullptr);
    ClearErrors3ds();
    FreeNodeList3ds();
}
