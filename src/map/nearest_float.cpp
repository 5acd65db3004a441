#include "map/nearest_float.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

namespace scab::map {

namespace {

// The sign of sqrt(num / den) - m for a double m >= 0: the sign of num - m^2 x den, in integers.
int compare_root(const mpz_class& num, const mpz_class& den, double m) {
  if (m == 0) return num == 0 ? 0 : 1;
  int exponent = 0;
  const double fraction = std::frexp(m, &exponent);       // m = fraction x 2^exponent, 1/2 <= f < 1
  const mpz_class significand(std::ldexp(fraction, 53));  // a whole number: exact
  exponent -= 53;                                         // m = significand x 2^exponent
  mpz_class left = num;
  mpz_class right = significand * significand * den;
  if (exponent >= 0) {
    right <<= 2 * exponent;
  } else {
    left <<= -2 * exponent;
  }
  return cmp(left, right);
}

}  // namespace

float round_root_exactly(double approx, const mpz_class& num, const mpz_class& den) {
  assert(num >= 0 && den > 0 && approx >= 0);
  const float rounded = static_cast<float>(approx);
  const double as_double = rounded;
  if (as_double == approx) return rounded;  // a float itself: every midpoint is 2^-25 away
  const float other =
      std::nextafter(rounded, approx > as_double ? std::numeric_limits<float>::infinity() : 0.0f);
  const float below = std::fmin(rounded, other);
  const float above = std::fmax(rounded, other);
  // The midpoint of two neighbouring floats has at most 25 significant bits: exact in a double.
  const double midpoint = (static_cast<double>(below) + static_cast<double>(above)) / 2;
  const int side = compare_root(num, den, midpoint);
  if (side != 0) return side > 0 ? above : below;
  uint32_t below_bits;
  std::memcpy(&below_bits, &below, sizeof below_bits);
  return below_bits % 2 == 0 ? below : above;  // a tie goes to the even significand
}

mpz_class to_mpz(__int128 value) {
  const bool negative = value < 0;
  const unsigned __int128 magnitude =
      negative ? ~static_cast<unsigned __int128>(value) + 1 : static_cast<unsigned __int128>(value);
  const uint64_t words[2] = {static_cast<uint64_t>(magnitude),
                             static_cast<uint64_t>(magnitude >> 64)};
  mpz_class result;
  mpz_import(result.get_mpz_t(), 2, -1, sizeof words[0], 0, 0, words);  // least significant first
  return negative ? mpz_class(-result) : result;
}

}  // namespace scab::map
