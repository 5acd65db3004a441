// Operands for the arithmetic tests: a small seeded generator, doubles built from their parts,
// and products that land exactly on, or just off, the midpoint between two doubles.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace scab::test {

inline std::uint64_t bits_of(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

inline bool same_bits(double a, double b) {
  return bits_of(a) == bits_of(b);
}

inline std::string hex(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%a", x);
  return text;
}

// SplitMix64: the same operands on every platform and library.
struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // lo .. hi, both included.
  int range(int lo, int hi) {
    return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  bool coin() { return (next() & 1u) != 0; }
  double sign() { return coin() ? -1.0 : 1.0; }
  // A 53-bit significand, 2^52 .. 2^53 - 1.
  std::uint64_t significand() { return (next() >> 11) | (std::uint64_t{1} << 52); }
  // A random double of either sign in [2^lo, 2^(hi + 1)).
  double real(int lo, int hi) {
    return sign() * std::ldexp(static_cast<double>(significand()), range(lo, hi) - 52);
  }
};

// An odd integer of exactly `bits` bits.
inline std::uint64_t odd_of_bits(Random& random, int bits) {
  return ((random.next() >> (64 - bits)) | (std::uint64_t{1} << (bits - 1))) | 1u;
}

// The inverse of an odd number modulo 2^64 (Newton's iteration).
inline std::uint64_t inverse_mod_2_64(std::uint64_t a) {
  std::uint64_t x = a;  // right to 3 bits
  for (int i = 0; i < 5; i++)
    x *= 2 - a * x;
  return x;
}

// Integers a and b whose exact product lies `offset` units of 2^-53 ulp away from the midpoint
// between two doubles, |offset| < 2^51. Off the midpoint: 53-bit factors whose 106-bit product
// has 2^52 + offset as its low 53 bits. On it (offset 0): odd factors of 27 bits whose product
// has 54 bits, the last of them a 1 (two full 53-bit odd factors never make a tie).
inline void product_near_midpoint(Random& random, std::int64_t offset, double& a, double& b) {
  constexpr std::uint64_t kMask53 = (std::uint64_t{1} << 53) - 1;
  if (offset == 0) {
    for (;;) {
      const std::uint64_t A = odd_of_bits(random, 27), B = odd_of_bits(random, 27);
      if ((A * B) >> 53 == 0) continue;
      a = static_cast<double>(A);
      b = static_cast<double>(B);
      return;
    }
  }
  const std::uint64_t low =
      ((std::uint64_t{1} << 52) + static_cast<std::uint64_t>(offset)) & kMask53;
  for (;;) {
    const std::uint64_t A = random.significand() | 1u;
    const std::uint64_t B = (low * inverse_mod_2_64(A)) & kMask53;
    if (B < (std::uint64_t{1} << 52)) continue;
    __extension__ const unsigned __int128 product = static_cast<unsigned __int128>(A) * B;
    if ((product >> 105) == 0) continue;
    a = static_cast<double>(A);
    b = static_cast<double>(B);
    return;
  }
}

}  // namespace scab::test
