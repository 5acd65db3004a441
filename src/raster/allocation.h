// Where the program's blocks of numbers come from: calloc and free by default. Tests replace
// them to make a chosen allocation fail, or to count what a run holds.
#pragma once

#include <cstddef>

namespace scab {

// One zero-filled block of count x size bytes, or null when it cannot be had (or its size does
// not fit the address space); and its release.
void* zero_block(size_t count, size_t size);
void release_block(void* block);

// Replaces the allocation and the release; nulls restore calloc and free.
using ZeroAllocator = void* (*)(size_t count, size_t size);
using Release = void (*)(void* block);
void set_allocator(ZeroAllocator allocator, Release release);

}  // namespace scab
