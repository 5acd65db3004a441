#include "exact/summary.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <map>
#include <tuple>

#include "dataset/units.h"

namespace scab::exact {
namespace {

// The height unit whose samples have `decimals` decimals in metres, or -1 when none has.
int unit_of_decimals(int decimals) {
  for (int unit = 0; unit < kUnitCount; unit++) {
    if (unit_decimals(unit) == decimals) return unit;
  }
  return -1;
}

std::string describe(const Raster& raster) {
  std::string text = std::to_string(raster.lines) + " x " + std::to_string(raster.columns) + " ";
  switch (raster.type) {
    case SampleType::grey8:
      return text + "8-bit image";
    case SampleType::height16:
      text += "16-bit DEM";
      break;
    case SampleType::height32:
      text += "32-bit DEM";
      break;
  }
  const int unit = unit_of_decimals(raster.decimals);
  return text + " in " + (unit >= 0 ? unit_name(unit) : "an unknown unit");
}

std::string describe(const Block& block) {
  return "lines " + std::to_string(block.first_line) + " to " + std::to_string(block.end_line - 1) +
         ", columns " + std::to_string(block.first_column) + " to " +
         std::to_string(block.end_column - 1);
}

bool same_raster(const Raster& a, const Raster& b) {
  return a.lines == b.lines && a.columns == b.columns && a.type == b.type &&
         a.decimals == b.decimals;
}

// Whether no two of `blocks` share a cell; when two do, they are put in `a` and `b`. A sweep
// down the lines: the blocks that cross the current line hold disjoint column ranges, kept in
// order of their first column, so a new one can only clash with its two neighbours there.
bool disjoint(const std::vector<Block>& blocks, Block& a, Block& b) {
  std::vector<size_t> by_first(blocks.size()), by_end(blocks.size());
  for (size_t k = 0; k < blocks.size(); k++)
    by_first[k] = by_end[k] = k;
  std::sort(by_first.begin(), by_first.end(),
            [&](size_t x, size_t y) { return blocks[x].first_line < blocks[y].first_line; });
  std::sort(by_end.begin(), by_end.end(),
            [&](size_t x, size_t y) { return blocks[x].end_line < blocks[y].end_line; });
  std::map<int64_t, size_t> crossing;  // first column -> block
  size_t ended = 0;
  for (size_t k : by_first) {
    const Block& block = blocks[k];
    for (; ended < by_end.size() && blocks[by_end[ended]].end_line <= block.first_line; ended++)
      crossing.erase(blocks[by_end[ended]].first_column);
    auto after = crossing.lower_bound(block.first_column);
    if (after != crossing.end() && blocks[after->second].first_column < block.end_column) {
      std::tie(a, b) = std::make_tuple(blocks[after->second], block);
      return false;
    }
    if (after != crossing.begin() &&
        blocks[std::prev(after)->second].end_column > block.first_column) {
      std::tie(a, b) = std::make_tuple(blocks[std::prev(after)->second], block);
      return false;
    }
    crossing.emplace(block.first_column, k);
  }
  return true;
}

// Joins blocks that share a whole edge, so that merging a tiling keeps few blocks.
void join_neighbours(std::vector<Block>& blocks) {
  bool joined = true;
  while (joined && blocks.size() > 1) {
    joined = false;
    // Side by side: the same lines, touching columns (next to each other in this order).
    std::sort(blocks.begin(), blocks.end(), [](const Block& x, const Block& y) {
      return std::tie(x.first_line, x.end_line, x.first_column) <
             std::tie(y.first_line, y.end_line, y.first_column);
    });
    std::vector<Block> kept;
    for (const Block& block : blocks) {
      Block* last = kept.empty() ? nullptr : &kept.back();
      if (last && last->first_line == block.first_line && last->end_line == block.end_line &&
          last->end_column == block.first_column) {
        last->end_column = block.end_column;
        joined = true;
      } else {
        kept.push_back(block);
      }
    }
    // One above the other: the same columns, touching lines.
    std::sort(kept.begin(), kept.end(), [](const Block& x, const Block& y) {
      return std::tie(x.first_column, x.end_column, x.first_line) <
             std::tie(y.first_column, y.end_column, y.first_line);
    });
    blocks.clear();
    for (const Block& block : kept) {
      Block* last = blocks.empty() ? nullptr : &blocks.back();
      if (last && last->first_column == block.first_column &&
          last->end_column == block.end_column && last->end_line == block.first_line) {
        last->end_line = block.end_line;
        joined = true;
      } else {
        blocks.push_back(block);
      }
    }
  }
}

// Adds the sums of `other` (its first one is item `other_first`) into `into` (from
// `into_first`), widening the span of `into` to hold both.
void add_span(int64_t& into_first, std::vector<SampleSums>& into, int64_t other_first,
              const std::vector<SampleSums>& other) {
  if (other.empty()) return;
  if (into.empty()) {
    into_first = other_first;
    into = other;
    return;
  }
  const int64_t first = std::min(into_first, other_first);
  const int64_t end = std::max(into_first + static_cast<int64_t>(into.size()),
                               other_first + static_cast<int64_t>(other.size()));
  if (first != into_first || end != into_first + static_cast<int64_t>(into.size())) {
    std::vector<SampleSums> wider(static_cast<size_t>(end - first));
    std::copy(into.begin(), into.end(), wider.begin() + (into_first - first));
    into.swap(wider);
    into_first = first;
  }
  for (size_t k = 0; k < other.size(); k++)
    into[static_cast<size_t>(other_first - into_first) + k].add(other[k]);
}

}  // namespace

std::string check_raster(const Raster& raster) {
  if (raster.lines < 1 || raster.lines > kMaxSide || raster.columns < 1 ||
      raster.columns > kMaxSide) {
    return "a raster has 1 to " + std::to_string(kMaxSide) + " lines and columns, not " +
           std::to_string(raster.lines) + " x " + std::to_string(raster.columns);
  }
  if (raster.type != SampleType::grey8 && raster.type != SampleType::height16 &&
      raster.type != SampleType::height32) {
    return "samples of " + std::to_string(static_cast<int>(raster.type)) +
           " bytes: a sample has 1, 2 or 4";
  }
  if (unit_of_decimals(raster.decimals) < 0) {
    return "heights in 10^-" + std::to_string(raster.decimals) +
           " metres: the unit is metres, decimetres, centimetres or millimetres";
  }
  if (raster.type == SampleType::grey8 && raster.decimals != 0) {
    return "an 8-bit image has grey levels, not heights in a unit";
  }
  return "";
}

std::string check_summary(const Summary& summary) {
  const Raster& raster = summary.raster;
  std::string problem = check_raster(raster);
  if (!problem.empty()) return problem;
  for (const Block& block : summary.blocks) {
    if (block.first_line < 0 || block.first_line >= block.end_line ||
        block.end_line > raster.lines || block.first_column < 0 ||
        block.first_column >= block.end_column || block.end_column > raster.columns) {
      return "a block that is empty or not inside the " + describe(raster) + ": lines " +
             std::to_string(block.first_line) + " to " + std::to_string(block.end_line) +
             " (end), columns " + std::to_string(block.first_column) + " to " +
             std::to_string(block.end_column) + " (end)";
    }
  }
  Block a, b;
  if (!disjoint(summary.blocks, a, b)) {
    return "blocks that overlap: " + describe(a) + " and " + describe(b);
  }
  int64_t covered = 0;  // at most the raster's cells, the blocks being disjoint
  for (const Block& block : summary.blocks)
    covered += block.cells();
  const int64_t lowest = raster.type == SampleType::height32 ? INT32_MIN : 0;
  const int64_t highest = raster.type == SampleType::grey8      ? 255
                          : raster.type == SampleType::height16 ? 65535
                                                                : INT32_MAX;
  if (!summary.blocks.empty() && (summary.minimum > summary.maximum || summary.minimum < lowest ||
                                  summary.maximum > highest)) {
    return "a range of samples (" + std::to_string(summary.minimum) + " to " +
           std::to_string(summary.maximum) + ") that samples of this type cannot have";
  }
  const auto inside = [](int64_t first, size_t count, int64_t end) {
    return count == 0 || (first >= 0 && first <= end && static_cast<int64_t>(count) <= end - first);
  };
  if (!inside(summary.first_line, summary.lines.size(), raster.lines) ||
      !inside(summary.first_column, summary.columns.size(), raster.columns)) {
    return "sums of lines or columns beyond the raster's";
  }
  if (summary.interior.cells < 0 || summary.interior.cells > covered) {
    return std::to_string(summary.interior.cells) + " interior cells in blocks of " +
           std::to_string(covered) + " cells";
  }
  return "";
}

void InteriorSums::add(const InteriorSums& other) {
  cells += other.cells;
  sample.add(other.sample);
  squares.add(other.squares);
  eight.add(other.eight);
  sample_eight.add(other.sample_eight);
  eight_squares.add(other.eight_squares);
  eight_off.add(other.eight_off);
  four_squares.add(other.four_squares);
  four_off.add(other.four_off);
}

bool operator==(const InteriorSums& a, const InteriorSums& b) {
  return a.cells == b.cells && a.sample == b.sample && a.squares == b.squares &&
         a.eight == b.eight && a.sample_eight == b.sample_eight &&
         a.eight_squares == b.eight_squares && a.eight_off == b.eight_off &&
         a.four_squares == b.four_squares && a.four_off == b.four_off;
}

bool Summary::whole() const {
  int64_t covered = 0;
  for (const Block& block : blocks)
    covered += block.cells();
  return covered == raster.lines * raster.columns;
}

bool operator==(const Summary& a, const Summary& b) {
  return same_raster(a.raster, b.raster) && a.blocks == b.blocks && a.minimum == b.minimum &&
         a.maximum == b.maximum && a.first_line == b.first_line && a.lines == b.lines &&
         a.first_column == b.first_column && a.columns == b.columns && a.interior == b.interior;
}

Summary empty_summary(const Raster& raster) {
  Summary summary;
  summary.raster = raster;
  return summary;
}

bool merge(Summary& into, const Summary& other, std::string& error) {
  if (!same_raster(into.raster, other.raster)) {
    error = "the summaries are of different rasters: a " + describe(into.raster) + " and a " +
            describe(other.raster);
    return false;
  }
  std::vector<Block> blocks = into.blocks;
  blocks.insert(blocks.end(), other.blocks.begin(), other.blocks.end());
  Block a, b;
  if (!disjoint(blocks, a, b)) {
    error = "the summaries' blocks overlap: " + describe(a) + " and " + describe(b);
    return false;
  }
  if (other.blocks.empty()) return true;
  if (into.blocks.empty()) {
    into.minimum = other.minimum;
    into.maximum = other.maximum;
  } else {
    into.minimum = std::min(into.minimum, other.minimum);
    into.maximum = std::max(into.maximum, other.maximum);
  }
  join_neighbours(blocks);
  into.blocks = std::move(blocks);
  add_span(into.first_line, into.lines, other.first_line, other.lines);
  add_span(into.first_column, into.columns, other.first_column, other.columns);
  into.interior.add(other.interior);
  return true;
}

}  // namespace scab::exact
