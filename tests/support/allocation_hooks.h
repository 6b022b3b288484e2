#pragma once
// Replaces the program's global allocation functions with those of
// alloc_faults.h. Include it in exactly one source file of a test program;
// a second inclusion in the same program fails to link.

#include "tests/support/alloc_faults.h"

#include <cstddef>

void* operator new(std::size_t size) {
    return FaultyAllocate(size);
}
void operator delete(void* block) noexcept {
    FaultyFree(block);
}
void operator delete(void* block, std::size_t) noexcept {
    FaultyFree(block);
}
