#include "tests/support/alloc_faults.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

struct FaultState {
    long remaining = -1; // allocations left before the failure; -1 disarmed
    bool failed = false;
    std::size_t largest = 0; // the largest allocation since the last reset
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

void ResetLargestAllocation() {
    faults.largest = 0;
}

std::size_t LargestAllocation() {
    return faults.largest;
}

void* FaultyAllocate(std::size_t size) {
    faults.largest = std::max(faults.largest, size);
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
