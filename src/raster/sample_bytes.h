// Sample j of a line of raw samples of kWidth bytes, least significant byte first: unsigned for
// 1 and 2 bytes, signed for 4. For the kernel sources only (the range and height loops, the
// exact scan), after arith/kernel_target.h.
//
// The function has internal linkage on purpose: each kernel source is compiled once for each
// instruction set, and an inline function with external linkage would be one function to the
// linker, which could keep the widest copy's instance for the baseline's calls too.
#pragma once

#include <cstdint>
#include <cstring>

namespace scab::raw_bytes {
namespace {

template <int kWidth>
inline int32_t sample_at(const unsigned char* bytes, int64_t j) {
  static_assert(kWidth == 1 || kWidth == 2 || kWidth == 4, "samples are 1, 2 or 4 bytes");
  const unsigned char* b = bytes + kWidth * j;
  if (kWidth == 1) return b[0];
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // The host's order is the file's: a plain load, which loops vectorize.
  if (kWidth == 2) {
    uint16_t value;
    std::memcpy(&value, b, 2);
    return value;
  }
  int32_t value;
  std::memcpy(&value, b, 4);
  return value;
#else
  if (kWidth == 2) return b[0] | b[1] << 8;
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                              static_cast<uint32_t>(b[2]) << 16 |
                              static_cast<uint32_t>(b[3]) << 24);
#endif
}

}  // namespace
}  // namespace scab::raw_bytes
