#pragma once
// Allocation fault injection and accounting. A test program that wants them
// routes the global allocation functions through FaultyAllocate and
// FaultyFree by including allocation_hooks.h in one of its source files.
// Disarmed, they behave as the standard ones.

#include <cstddef>

// Arms the injector: the allocation after the next `successes` ones throws
// std::bad_alloc; later ones succeed again.
void FailAllocationAfter(long successes);
// Disarms the injector; returns whether the armed failure happened.
bool StopAllocationFaults();

// The largest single allocation since the last reset.
void ResetLargestAllocation();
std::size_t LargestAllocation();

void* FaultyAllocate(std::size_t size);
void FaultyFree(void* block) noexcept;

// Runs setUp (disarmed), then run with the n-th allocation failing, for
// n = 0, 1, ... until run gets through without meeting the failure. After
// each failed run, check is called. Returns how many runs met the failure.
template <typename SetUp, typename Run, typename Check>
int SweepAllocationFaults(SetUp setUp, Run run, Check check) {
    for (long n = 0;; ++n) {
        setUp();
        FailAllocationAfter(n);
        run();
        if (!StopAllocationFaults()) {
            return static_cast<int>(n);
        }
        check();
    }
}
