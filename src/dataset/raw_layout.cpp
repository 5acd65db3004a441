#include "dataset/raw_layout.h"

#include <cassert>

namespace scab {

int sample_bytes(bool image, int sample_width_answer) {
  if (image) return 1;
  return sample_width_answer == 0 ? 2 : 4;
}

int descriptor_bytes_per_sample(bool image, int sample_width_answer) {
  if (image) return 1;
  if (sample_width_answer == 0) return 2;
  if (sample_width_answer == 1) return 4;
  return 1;
}

uint64_t raw_bytes_expected(int lines, int columns, int width) {
  assert(lines >= 0 && columns >= 0 && width >= 1);
  return static_cast<uint64_t>(lines) * static_cast<uint64_t>(columns) *
         static_cast<uint64_t>(width);
}

std::string short_file_warning(const std::string& raw_path, uint64_t found, uint64_t expected) {
  assert(found < expected);
  return "the file " + raw_path + " holds " + std::to_string(found) + " bytes where " +
         std::to_string(expected) + " were expected; the cells it does not reach are taken as 0.";
}

}  // namespace scab
