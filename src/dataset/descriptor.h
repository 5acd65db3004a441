// A dataset's descriptor file: six integers, lines, columns, bytes per sample, minimum, maximum
// and pixel size. Only the first two drive the analysis.
#pragma once

#include <cstdio>
#include <string>

#include "dataset/input_file.h"

namespace scab {

struct DescriptorNumbers {
  int lines = 0;
  int columns = 0;
  int bytes_per_sample = 0;
  int minimum = 0;
  int maximum = 0;
  int pixel_size = 0;
};

// Reads the six integers of a descriptor as "%d%d%d%d%d%d" does: any white space between them,
// reading stops at the first text that is not an integer, unread fields keep their values.
// Gives the text that stopped the reading before the second number was read, or "": at most
// 41 characters of it. A number or a word is never read further than that, however long it
// is: a run of digits of any size is read quickly, in little memory.
std::string read_descriptor(FILE* file, DescriptorNumbers& numbers);

// What reading a descriptor file gave.
struct DescriptorReading {
  DescriptorNumbers numbers;
  std::string found;   // what read_descriptor gave
  int open_error = 0;  // the system's error when the open file could not be read as a stream
  int read_error = 0;  // the system's error when reading it failed (rather than ended)
};

// Reads the descriptor `file` (open), and closes it.
DescriptorReading read_descriptor_file(InputFile file);

// Whether the numbers give a raster: at least 1 line and 1 column.
bool gives_a_raster(const DescriptorNumbers& numbers);

// Why the descriptor at `path` (as the front end shows it) gives no raster, from what reading it
// gave: "The descriptor file PATH gives 0 lines and 5 columns: a raster needs at least 1 of
// each", or "... does not give the numbers of lines and columns: it holds ...". A sentence
// without its full stop.
std::string descriptor_refusal(const std::string& path, const DescriptorReading& reading);

// Writes a descriptor for a raster of `lines` x `columns`: the six numbers a line each, the
// minimum and the maximum written 0 and 65500 whatever the samples (the analysis finds their
// range itself).
void write_descriptor(FILE* file, int lines, int columns, int bytes_per_sample, int pixel_size);

}  // namespace scab
