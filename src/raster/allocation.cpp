#include "raster/allocation.h"

#include <cstdint>
#include <cstdlib>

namespace scab {
namespace {

ZeroAllocator zero_allocator = std::calloc;
Release release = std::free;

}  // namespace

void* zero_block(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  return zero_allocator(count, size);
}

void release_block(void* block) {
  release(block);
}

void set_allocator(ZeroAllocator allocator, Release release_function) {
  zero_allocator = allocator ? allocator : std::calloc;
  release = release_function ? release_function : std::free;
}

}  // namespace scab
