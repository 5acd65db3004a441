// A summary as bytes: the version (4 bytes), then every number least significant byte first,
// in the order of the fields of Summary. parse() checks each count against the bytes left
// before it allocates, and the whole summary with check_summary() at the end.
#include <cstring>

#include "exact/summary.h"

namespace scab::exact {
namespace {

class Writer {
 public:
  explicit Writer(std::vector<unsigned char>& out) : out_(out) {}
  void u64(uint64_t value) {
    for (int b = 0; b < 8; b++)
      out_.push_back(static_cast<unsigned char>(value >> (8 * b)));
  }
  void u32(uint32_t value) {
    for (int b = 0; b < 4; b++)
      out_.push_back(static_cast<unsigned char>(value >> (8 * b)));
  }
  void i64(int64_t value) { u64(static_cast<uint64_t>(value)); }
  void wide(const Wide& value) {
    for (uint64_t word : value.word)
      u64(word);
  }
  void sums(int64_t first, const std::vector<SampleSums>& all) {
    i64(first);
    u64(all.size());
    for (const SampleSums& s : all) {
      i64(s.sum);
      u64(static_cast<uint64_t>(s.squares));
      u64(static_cast<uint64_t>(s.squares >> 64));
    }
  }

 private:
  std::vector<unsigned char>& out_;
};

class Reader {
 public:
  Reader(const unsigned char* bytes, size_t size) : bytes_(bytes), left_(size) {}
  size_t left() const { return left_; }
  // Each reads false, and leaves its target as it was, when the bytes run out.
  bool u64(uint64_t& value) {
    if (left_ < 8) return false;
    value = 0;
    for (int b = 7; b >= 0; b--)
      value = value << 8 | bytes_[b];
    bytes_ += 8;
    left_ -= 8;
    return true;
  }
  bool u32(uint32_t& value) {
    uint64_t wide = 0;
    if (left_ < 4) return false;
    for (int b = 3; b >= 0; b--)
      wide = wide << 8 | bytes_[b];
    bytes_ += 4;
    left_ -= 4;
    value = static_cast<uint32_t>(wide);
    return true;
  }
  bool i64(int64_t& value) {
    uint64_t bits;
    if (!u64(bits)) return false;
    value = static_cast<int64_t>(bits);
    return true;
  }
  bool wide(Wide& value) { return u64(value.word[0]) && u64(value.word[1]) && u64(value.word[2]); }
  // A count of items of `item_bytes` each, refused when the bytes left cannot hold them.
  bool count(size_t item_bytes, size_t& n) {
    uint64_t value;
    if (!u64(value) || value > left_ / item_bytes) return false;
    n = static_cast<size_t>(value);
    return true;
  }
  bool sums(int64_t& first, std::vector<SampleSums>& all) {
    size_t n;
    if (!i64(first) || !count(24, n)) return false;
    all.resize(n);
    for (SampleSums& s : all) {
      uint64_t low, high;
      if (!i64(s.sum) || !u64(low) || !u64(high)) return false;
      s.squares = (Uint128(high) << 64) | low;
    }
    return true;
  }

 private:
  const unsigned char* bytes_;
  size_t left_;
};

bool read_blocks(Reader& in, std::vector<Block>& blocks) {
  size_t n;
  if (!in.count(32, n)) return false;
  blocks.resize(n);
  for (Block& b : blocks) {
    if (!in.i64(b.first_line) || !in.i64(b.end_line) || !in.i64(b.first_column) ||
        !in.i64(b.end_column)) {
      return false;
    }
  }
  return true;
}

bool read_interior(Reader& in, InteriorSums& s) {
  return in.i64(s.cells) && in.wide(s.sample) && in.wide(s.squares) && in.wide(s.eight) &&
         in.wide(s.sample_eight) && in.wide(s.eight_squares) && in.wide(s.eight_off) &&
         in.wide(s.four_squares) && in.wide(s.four_off);
}

// The fields after the version; false when the bytes end before them.
bool read_fields(Reader& in, Summary& s) {
  uint32_t kind, minimum, maximum;
  if (!in.u32(kind) || !in.i64(s.raster.lines) || !in.i64(s.raster.columns)) return false;
  s.raster.type = static_cast<SampleType>(kind & 0xff);
  s.raster.decimals = static_cast<int>(kind >> 8);
  if (!read_blocks(in, s.blocks) || !in.u32(minimum) || !in.u32(maximum)) return false;
  s.minimum = static_cast<int32_t>(minimum);
  s.maximum = static_cast<int32_t>(maximum);
  return in.sums(s.first_line, s.lines) && in.sums(s.first_column, s.columns) &&
         read_interior(in, s.interior);
}

}  // namespace

std::vector<unsigned char> serialize(const Summary& s) {
  std::vector<unsigned char> bytes;
  Writer out(bytes);
  out.u32(kSummaryVersion);
  // The sample type (its bytes) and the decimals in one word.
  out.u32(static_cast<uint32_t>(s.raster.type) | static_cast<uint32_t>(s.raster.decimals) << 8);
  out.i64(s.raster.lines);
  out.i64(s.raster.columns);
  out.u64(s.blocks.size());
  for (const Block& b : s.blocks) {
    out.i64(b.first_line);
    out.i64(b.end_line);
    out.i64(b.first_column);
    out.i64(b.end_column);
  }
  out.u32(static_cast<uint32_t>(s.minimum));
  out.u32(static_cast<uint32_t>(s.maximum));
  out.sums(s.first_line, s.lines);
  out.sums(s.first_column, s.columns);
  out.i64(s.interior.cells);
  for (const Wide* w : {&s.interior.sample, &s.interior.squares, &s.interior.eight,
                        &s.interior.sample_eight, &s.interior.eight_squares, &s.interior.eight_off,
                        &s.interior.four_squares, &s.interior.four_off}) {
    out.wide(*w);
  }
  return bytes;
}

bool parse(const unsigned char* bytes, size_t size, Summary& summary, std::string& error) {
  Reader in(bytes, size);
  uint32_t version;
  if (!in.u32(version)) {
    error = "not a summary: " + std::to_string(size) + " bytes";
    return false;
  }
  if (version != kSummaryVersion) {
    error = "a summary of version " + std::to_string(version) + ", not " +
            std::to_string(kSummaryVersion);
    return false;
  }
  Summary read;
  if (!read_fields(in, read)) {
    error = "a summary cut short, or with a count larger than its bytes";
    return false;
  }
  if (in.left() != 0) {
    error = "a summary followed by " + std::to_string(in.left()) + " more bytes";
    return false;
  }
  const std::string problem = check_summary(read);
  if (!problem.empty()) {
    error = "not a sound summary: " + problem;
    return false;
  }
  summary = std::move(read);
  return true;
}

}  // namespace scab::exact
