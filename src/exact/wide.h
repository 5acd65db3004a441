// Integers wide enough for the exact sums of a raster.
//
// A raster has fewer than 2^31 lines and 2^31 columns, so fewer than 2^62 cells. Its samples
// are below 2^31 in magnitude; a sum of 8 neighbours below 2^34, and the largest term summed,
// the square of a neighbour sum, below 2^68. A sum over every interior cell is then below
// 2^130: more than 128 bits. Wide holds such sums: a two's complement integer of 192 bits.
// The hot loops sum in 64-bit lanes, add those into 128-bit totals once a line, and add the
// line's totals into a Wide (exact/scan_kernels.cpp derives each bound where it is used).
#pragma once

#include <cstdint>

namespace scab::exact {

using Int128 = __int128;
using Uint128 = unsigned __int128;

// A signed integer of 192 bits, as three 64-bit words (least significant first), that sums
// exactly: it holds any sum of fewer than 2^62 terms each below 2^128 in magnitude.
struct Wide {
  uint64_t word[3] = {0, 0, 0};

  void add(Int128 term) {
    const Uint128 low = (Uint128(word[1]) << 64) | word[0];
    const Uint128 sum = low + Uint128(term);
    const uint64_t carry = sum < low ? 1 : 0;
    // The term extended to 192 bits has all-ones as its top word when it is negative.
    word[2] += carry + (term < 0 ? ~uint64_t(0) : 0);
    word[0] = uint64_t(sum);
    word[1] = uint64_t(sum >> 64);
  }

  void add(const Wide& other) {
    const Uint128 low = (Uint128(word[1]) << 64) | word[0];
    const Uint128 other_low = (Uint128(other.word[1]) << 64) | other.word[0];
    const Uint128 sum = low + other_low;
    word[2] += other.word[2] + (sum < low ? 1 : 0);
    word[0] = uint64_t(sum);
    word[1] = uint64_t(sum >> 64);
  }

  bool negative() const { return (word[2] >> 63) != 0; }

  friend bool operator==(const Wide& a, const Wide& b) {
    return a.word[0] == b.word[0] && a.word[1] == b.word[1] && a.word[2] == b.word[2];
  }
  friend bool operator!=(const Wide& a, const Wide& b) { return !(a == b); }
};

}  // namespace scab::exact
