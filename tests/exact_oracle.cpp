#include "exact_oracle.h"

#include <algorithm>
#include <cstdlib>

namespace scab::exact::test {
namespace {

int64_t lowest_of(SampleType type) {
  return type == SampleType::height32 ? INT32_MIN : 0;
}
int64_t highest_of(SampleType type) {
  return type == SampleType::grey8 ? 255 : type == SampleType::height16 ? 65535 : INT32_MAX;
}

}  // namespace

std::vector<unsigned char> TestRaster::bytes() const {
  const int width = static_cast<int>(raster.type);
  std::vector<unsigned char> out;
  out.reserve(samples.size() * static_cast<size_t>(width));
  for (int32_t k : samples) {
    for (int b = 0; b < width; b++)
      out.push_back(static_cast<unsigned char>(static_cast<uint32_t>(k) >> (8 * b)));
  }
  return out;
}

TestRaster make_raster(std::mt19937_64& random, const std::string& kind, SampleType type,
                       int decimals, int64_t lines, int64_t columns) {
  TestRaster out;
  out.raster = Raster{lines, columns, type, decimals};
  const int64_t low = lowest_of(type), high = highest_of(type);
  const auto uniform = [&](int64_t a, int64_t b) {
    return std::uniform_int_distribution<int64_t>(a, b)(random);
  };
  // A base and a spread for each kind; "flat" sits near the top of the type's range.
  const int64_t base = kind == "flat"       ? high - uniform(3, 40)
                       : kind == "constant" ? uniform(low, high)
                                            : 0;
  const int64_t distinct = uniform(2, 4);
  for (int64_t c = 0; c < lines * columns; c++) {
    int64_t k;
    if (kind == "random") {
      k = uniform(low, high);
    } else if (kind == "flat") {
      k = base + uniform(-3, 3);
    } else if (kind == "constant") {
      k = base;
    } else if (kind == "extreme") {
      k = uniform(0, 1) ? high - uniform(0, 2) : low + uniform(0, 2);
    } else {  // steps
      k = low + (high - low) / 5 * uniform(0, distinct);
    }
    out.samples.push_back(static_cast<int32_t>(std::clamp(k, low, high)));
  }
  return out;
}

mpz_class big(Int128 value) {
  const bool negative = value < 0;
  const Uint128 magnitude = negative ? Uint128(0) - Uint128(value) : Uint128(value);
  mpz_class high = static_cast<unsigned long>(magnitude >> 64);
  mpz_class low = static_cast<unsigned long>(static_cast<uint64_t>(magnitude));
  mpz_class out = (high << 64) + low;
  return negative ? mpz_class(-out) : out;
}

mpz_class big(const Wide& value) {
  mpz_class out = static_cast<long>(value.word[2]);  // the top word is signed
  out = (out << 64) + static_cast<unsigned long>(value.word[1]);
  return (out << 64) + static_cast<unsigned long>(value.word[0]);
}

OracleSums oracle_sums(const TestRaster& t, const Block& block) {
  OracleSums s;
  const int64_t lines = t.raster.lines, columns = t.raster.columns;
  s.line_sum.assign(static_cast<size_t>(block.end_line - block.first_line), 0);
  s.line_squares = s.line_sum;
  s.column_sum.assign(static_cast<size_t>(block.end_column - block.first_column), 0);
  s.column_squares = s.column_sum;
  s.minimum = INT32_MAX;
  s.maximum = INT32_MIN;
  for (int64_t i = block.first_line; i < block.end_line; i++) {
    for (int64_t j = block.first_column; j < block.end_column; j++) {
      const mpz_class k = t.at(i, j);
      s.minimum = std::min(s.minimum, t.at(i, j));
      s.maximum = std::max(s.maximum, t.at(i, j));
      s.line_sum[static_cast<size_t>(i - block.first_line)] += k;
      s.line_squares[static_cast<size_t>(i - block.first_line)] += k * k;
      s.column_sum[static_cast<size_t>(j - block.first_column)] += k;
      s.column_squares[static_cast<size_t>(j - block.first_column)] += k * k;
      if (i == 0 || j == 0 || i == lines - 1 || j == columns - 1) continue;
      mpz_class four = mpz_class(t.at(i - 1, j)) + t.at(i + 1, j) + t.at(i, j - 1) + t.at(i, j + 1);
      mpz_class eight =
          four + t.at(i - 1, j - 1) + t.at(i - 1, j + 1) + t.at(i + 1, j - 1) + t.at(i + 1, j + 1);
      s.cells += 1;
      s.sample += k;
      s.squares += k * k;
      s.eight += eight;
      s.sample_eight += k * eight;
      s.eight_squares += eight * eight;
      s.eight_off += abs(8 * k - eight);
      s.four_squares += (4 * k - four) * (4 * k - four);
      s.four_off += abs(4 * k - four);
    }
  }
  return s;
}

std::string compare_sums(const Summary& summary, const OracleSums& e, const Block& block) {
  const auto differ = [](const std::string& what, const mpz_class& got, const mpz_class& want) {
    return what + ": " + got.get_str() + " where the cells give " + want.get_str();
  };
  if (summary.minimum != e.minimum || summary.maximum != e.maximum) {
    return "range " + std::to_string(summary.minimum) + " to " + std::to_string(summary.maximum);
  }
  for (size_t i = 0; i < e.line_sum.size(); i++) {
    const size_t at = static_cast<size_t>(block.first_line - summary.first_line) + i;
    if (at >= summary.lines.size()) return "line " + std::to_string(i) + " missing";
    const SampleSums& got = summary.lines[at];
    if (got.sum != e.line_sum[i]) return differ("line sum", got.sum, e.line_sum[i]);
    if (big(Int128(got.squares)) != e.line_squares[i]) {
      return differ("line squares", big(Int128(got.squares)), e.line_squares[i]);
    }
  }
  for (size_t j = 0; j < e.column_sum.size(); j++) {
    const size_t at = static_cast<size_t>(block.first_column - summary.first_column) + j;
    if (at >= summary.columns.size()) return "column " + std::to_string(j) + " missing";
    const SampleSums& got = summary.columns[at];
    if (got.sum != e.column_sum[j]) return differ("column sum", got.sum, e.column_sum[j]);
    if (big(Int128(got.squares)) != e.column_squares[j]) {
      return differ("column squares", big(Int128(got.squares)), e.column_squares[j]);
    }
  }
  const InteriorSums& in = summary.interior;
  const std::pair<const char*, std::pair<mpz_class, mpz_class>> interior[] = {
      {"cells", {mpz_class(static_cast<long>(in.cells)), e.cells}},
      {"Σx", {big(in.sample), e.sample}},
      {"Σx²", {big(in.squares), e.squares}},
      {"ΣE", {big(in.eight), e.eight}},
      {"ΣxE", {big(in.sample_eight), e.sample_eight}},
      {"ΣE²", {big(in.eight_squares), e.eight_squares}},
      {"Σ|8x − E|", {big(in.eight_off), e.eight_off}},
      {"Σ(4x − F)²", {big(in.four_squares), e.four_squares}},
      {"Σ|4x − F|", {big(in.four_off), e.four_off}},
  };
  for (const auto& [what, pair] : interior) {
    if (pair.first != pair.second) return differ(what, pair.first, pair.second);
  }
  return "";
}

std::vector<unsigned char> window_bytes(const TestRaster& t, const Block& block, int64_t* stride) {
  const int width = static_cast<int>(t.raster.type);
  const int64_t first_line = std::max<int64_t>(block.first_line - 1, 0);
  const int64_t end_line = std::min(block.end_line + 1, t.raster.lines);
  const int64_t first_column = std::max<int64_t>(block.first_column - 1, 0);
  const int64_t end_column = std::min(block.end_column + 1, t.raster.columns);
  // Lines a few bytes apart beyond their samples, as in a larger array.
  *stride = (end_column - first_column) * width + 3;
  std::vector<unsigned char> out(static_cast<size_t>((end_line - first_line) * *stride), 0xee);
  for (int64_t i = first_line; i < end_line; i++) {
    for (int64_t j = first_column; j < end_column; j++) {
      for (int b = 0; b < width; b++) {
        out[static_cast<size_t>((i - first_line) * *stride + (j - first_column) * width + b)] =
            static_cast<unsigned char>(static_cast<uint32_t>(t.at(i, j)) >> (8 * b));
      }
    }
  }
  return out;
}

}  // namespace scab::exact::test
