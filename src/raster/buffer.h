// A zero-filled block of numbers owned by one scope, from the program's allocator
// (raster/allocation.h): std::bad_alloc when it cannot be had.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include "raster/allocation.h"

namespace scab {

template <typename T>
class Buffer {
 public:
  explicit Buffer(size_t count) : data_(nullptr), size_(count) {
    if (count == 0) return;
    data_ = static_cast<T*>(zero_block(count, sizeof(T)));
    if (!data_) throw std::bad_alloc();
  }
  ~Buffer() { release_block(data_); }
  Buffer(Buffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  Buffer& operator=(Buffer&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  T& operator[](size_t k) { return data_[k]; }
  const T& operator[](size_t k) const { return data_[k]; }

 private:
  T* data_;
  size_t size_;
};

}  // namespace scab
