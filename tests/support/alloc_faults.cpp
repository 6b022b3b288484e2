#include "tests/support/alloc_faults.h"

#include <cstdlib>
#include <new>

namespace {

struct FaultState {
    long remaining = -1; // allocations left before the failure; -1 disarmed
    bool failed = false;
};

FaultState faults;

} // namespace

void FailAllocationAfter(long successes) {
    faults.remaining = successes;
    faults.failed = false;
}

bool StopAllocationFaults() {
    faults.remaining = -1;
    return faults.failed;
}

void* FaultyAllocate(std::size_t size) {
    if (faults.remaining == 0) {
        faults.remaining = -1;
        faults.failed = true;
        throw std::bad_alloc();
    }
    if (faults.remaining > 0) {
        --faults.remaining;
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void FaultyFree(void* block) noexcept {
    std::free(block);
}
