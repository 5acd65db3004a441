// What the passes read: a raster's heights, a line at a time, and what is known of their range
// before a pass reads them.
#pragma once

#include <cstdint>
#include <memory>

namespace scab {

// What is known of all the values of a raster before a pass reads them: the passes take
// cheaper ways where these make them exact. Every value lies within [lowest, highest]: a finite
// number, unless lowest or highest is an infinity.
struct HeightRange {
  double lowest = 0;    // the least value
  double highest = 0;   // the greatest value
  double smallest = 0;  // the least magnitude of a value that is not zero (0 when there is none)
  bool whole = false;   // whether every value is a whole number
};

// Reads the lines of a LineSource for one pass, on one thread: it holds what reading them
// takes (a block of a file, a gathered line), so that readers never share anything.
class LineReader {
 public:
  virtual ~LineReader() = default;
  // Line i (0 is the first line) into out[0 .. columns - 1].
  virtual void line(int i, double* out) = 0;
  // Line i's samples, the whole numbers its heights are made from, into out[0 .. columns - 1]:
  // each height is its sample times one factor, rounded, so that equal samples give equal
  // heights and unequal samples unequal heights. False, and nothing written, for a source of
  // heights alone, which has no samples.
  virtual bool samples(int i, int32_t* out) {
    (void)i;
    (void)out;
    return false;
  }
};

// `lines` lines of `columns` values.
class LineSource {
 public:
  virtual ~LineSource() = default;
  virtual int lines() const = 0;
  virtual int columns() const = 0;
  // A new reader of the lines. Any number of readers may read at once, each on its own thread.
  virtual std::unique_ptr<LineReader> reader() const = 0;
  // The range of every value that the readers give.
  virtual HeightRange range() const = 0;
};

}  // namespace scab
