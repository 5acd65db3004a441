// How a dataset's raw raster is laid out: the bytes of each sample, as the dialog's answers
// name them, and the bytes the whole file should hold; the warning for a file that holds fewer.
#pragma once

#include <cstdint>
#include <string>

namespace scab {

// The bytes read for each sample: 1 for an 8-bit image; for a DEM 2 for the sample-width answer
// 0 (16 bits), 4 for any other answer (32 bits).
int sample_bytes(bool image, int sample_width_answer);

// The bytes per sample that a descriptor written for these answers says (its third number): 2
// for a DEM of width answer 0, 4 for the answer 1, and 1 for any other answer and for an image.
// A DEM of another width answer is nevertheless read 4 bytes a sample: only lines and columns
// drive the analysis, and descriptors have always been written so.
int descriptor_bytes_per_sample(bool image, int sample_width_answer);

// The bytes of a raw raster of `lines` x `columns` samples of `width` bytes, in 64 bits.
uint64_t raw_bytes_expected(int lines, int columns, int width);

// What is said of a raw file that holds `found` bytes where `expected` (more) were expected:
// "the file PATH holds ... taken as 0." (a sentence without its capital, for a line that
// begins "Warning: "). `raw_path` is the path as the front end shows it.
std::string short_file_warning(const std::string& raw_path, uint64_t found, uint64_t expected);

}  // namespace scab
