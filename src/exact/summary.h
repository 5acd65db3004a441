// A summary: the exact sums of a part of a raster, from which, once the parts cover the whole
// raster, every figure follows (exact/figures.h).
//
// Heights are samples × 10^-decimals, so every figure is a function of integer sums in sample
// units: per line and per column Σk and Σk²; over the interior cells (every cell but those of
// the first and last line and column), with x the cell's sample, E the sum of its 8 neighbours
// and F of its 4 edge neighbours, the count n and Σx, Σx², ΣE, ΣxE, ΣE², Σ|8x − E|, Σ(4x − F)²,
// Σ|4x − F|. Each interior cell belongs to the one block that holds it, whatever block holds its
// neighbours, so the sums of blocks that tile the raster add up to the raster's: summaries merge
// by adding, in any order and grouping, and give the same integers every way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exact/wide.h"

namespace scab::exact {

// How the samples are stored; the value is the bytes per sample (least significant first).
enum class SampleType : uint8_t {
  grey8 = 1,     // an 8-bit image: 0 to 255
  height16 = 2,  // a 16-bit DEM: 0 to 65535
  height32 = 4,  // a 32-bit DEM: signed
};

// The whole raster a summary belongs to. Heights are samples × 10^-decimals metres: decimals 0
// (metres, or the grey level of an image), 1 (decimetres), 2 (centimetres), 3 (millimetres).
struct Raster {
  int64_t lines = 0;
  int64_t columns = 0;
  SampleType type = SampleType::height16;
  int decimals = 0;
};

// The largest number of lines, and of columns, of a raster.
constexpr int64_t kMaxSide = INT32_MAX;

// Empty when `raster` is one the engine takes (1 to kMaxSide lines and columns, a known sample
// type, decimals 0 to 3 and 0 for an image), else what is wrong with it.
std::string check_raster(const Raster& raster);

// Lines [first_line, end_line) × columns [first_column, end_column) of a raster.
struct Block {
  int64_t first_line = 0, end_line = 0;
  int64_t first_column = 0, end_column = 0;

  int64_t cells() const { return (end_line - first_line) * (end_column - first_column); }
  friend bool operator==(const Block& a, const Block& b) {
    return a.first_line == b.first_line && a.end_line == b.end_line &&
           a.first_column == b.first_column && a.end_column == b.end_column;
  }
};

// Σk and Σk² of some samples k. Σk fits: fewer than 2^31 samples below 2^31 in magnitude.
struct SampleSums {
  int64_t sum = 0;
  Uint128 squares = 0;

  void add(const SampleSums& other) {
    sum += other.sum;
    squares += other.squares;
  }
  friend bool operator==(const SampleSums& a, const SampleSums& b) {
    return a.sum == b.sum && a.squares == b.squares;
  }
};

// The sums over interior cells (x its sample, E the sum of its 8 neighbours, F of its 4 edge
// neighbours).
struct InteriorSums {
  int64_t cells = 0;   // n
  Wide sample;         // Σx
  Wide squares;        // Σx²
  Wide eight;          // ΣE
  Wide sample_eight;   // ΣxE
  Wide eight_squares;  // ΣE²
  Wide eight_off;      // Σ|8x − E|
  Wide four_squares;   // Σ(4x − F)²
  Wide four_off;       // Σ|4x − F|

  void add(const InteriorSums& other);
  friend bool operator==(const InteriorSums& a, const InteriorSums& b);
};

// The sums of the cells of some disjoint blocks of a raster.
struct Summary {
  Raster raster;
  std::vector<Block> blocks;  // disjoint; none for an empty summary
  // The least and greatest sample of the blocks (0 and 0 while there are none).
  int32_t minimum = 0, maximum = 0;
  // Per line, the sums of the line's cells that the blocks hold: lines[i] is line first_line + i.
  int64_t first_line = 0;
  std::vector<SampleSums> lines;
  // Per column, likewise.
  int64_t first_column = 0;
  std::vector<SampleSums> columns;
  InteriorSums interior;

  // Whether the blocks cover every cell of the raster.
  bool whole() const;
  friend bool operator==(const Summary& a, const Summary& b);
};

// Empty when `summary` is sound (what merge() and parse() keep true): a raster check_raster()
// takes; blocks that are not empty, lie inside the raster and share no cell; a range of
// samples of its type; spans of lines and columns inside the raster; no more interior cells
// than the blocks hold. Else what is wrong with it.
std::string check_summary(const Summary& summary);

// An empty summary of `raster`, the neutral element of merge().
Summary empty_summary(const Raster& raster);

// Adds `other` into `into`. Refused, with a message and `into` unchanged, when the two are of
// different rasters (lines, columns, sample type or decimals) or their blocks overlap.
// Blocks that share a whole edge are joined into one. Holds the sums of every line and column
// between the two summaries' own (std::bad_alloc when memory for them cannot be had).
bool merge(Summary& into, const Summary& other, std::string& error);

// The summary as bytes (a format version first, then every number least significant byte
// first), and back. parse() refuses bytes that are not a summary of this version, with a
// message; it never reads past `size` bytes and never trusts a count before checking it.
std::vector<unsigned char> serialize(const Summary& summary);
bool parse(const unsigned char* bytes, size_t size, Summary& summary, std::string& error);

// The version that serialize() writes first.
constexpr uint32_t kSummaryVersion = 1;

}  // namespace scab::exact
