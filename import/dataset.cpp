// The dataset as scabrosimeter reads it: whole samples, raw bytes, descriptor, dialog answers.
#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "dataset/descriptor.h"
#include "dataset/paths.h"
#include "dataset/pending_file.h"
#include "dataset/raw_layout.h"
#include "import/importer.h"
#include "import/sample_rule.h"

namespace scab::import {

namespace {

const char kNothingReplaced[] = "; the dataset's earlier files, if any, are left as they were";

// The system's reason for a failure on `path`, in words.
std::string reason(int error) {
  return error == EISDIR ? "a directory stands at that name" : std::strerror(error);
}

// Why a file of the dataset was not written.
std::string write_failure(const std::string& path, int error) {
  return "cannot write " + path + ": " + reason(error);
}

// Why a file of the dataset, written in full, was not put in place.
std::string rename_failure(const std::string& path, int error) {
  return "cannot rename the new " + path + " into place: " + reason(error);
}

// Steps closer than this fraction of the larger are taken as equal. Writers compute a raster's
// steps from its extent and size, so two steps meant to be equal may differ in their last bits
// (about 1e-16 of their value); any difference that matters is many orders above. A difference
// beyond it also shows in the 10 digits that number_text prints (a number from 10^e to 10^(e+1)
// prints in steps of 10^(e-9), at most 1e-9 of it), so a warning never shows two equal numbers.
constexpr double kRelativeTolerance = 1e-9;

bool nearly_equal(double a, double b) {
  return std::fabs(a - b) <= kRelativeTolerance * std::max(std::fabs(a), std::fabs(b));
}

// The descriptor holds a whole pixel size from 1: `width` rounded to nearest, and 1 for a width
// that rounds to 0, with a warning that says which size is written when it is not `width`.
int whole_pixel_size(double width, std::vector<std::string>& warnings) {
  assert(width >= 0 && width < std::numeric_limits<int>::max());
  const int rounded = static_cast<int>(std::lround(width));
  if (rounded < 1) {
    warnings.push_back("pixel size " + number_text(width) +
                       " rounds to 0, which is no size: 1 written, the smallest whole size; if "
                       "the raster is in degrees, reproject it to metres first (gdalwarp -t_srs)");
    return 1;
  }
  if (!nearly_equal(width, rounded)) {
    warnings.push_back("pixel size " + number_text(width) + " is not whole; " +
                       std::to_string(rounded) + " written");
  }
  return rounded;
}

}  // namespace

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

Samples to_samples(const Grid& grid, bool image, int unit) {
  Samples samples;
  samples.lines = grid.lines;
  samples.columns = grid.columns;
  samples.values.reserve(grid.values.size());
  for (size_t i = 0; i < grid.values.size(); ++i) {
    samples.values.push_back(
        to_sample(grid.values[i], image, unit, i / grid.columns, i % grid.columns));
  }
  if (!samples.values.empty()) {
    samples.min = *std::min_element(samples.values.begin(), samples.values.end());
    samples.max = *std::max_element(samples.values.begin(), samples.values.end());
  }
  if (image) {
    samples.kind = SampleKind::kImage8;
  } else {
    samples.kind =
        samples.min >= 0 && samples.max <= 65535 ? SampleKind::kDem16 : SampleKind::kDem32;
  }
  return samples;
}

PixelSize pixel_size(const std::optional<GeoTransform>& geotransform) {
  PixelSize size;
  if (!geotransform) {
    size.warnings.push_back("the raster has no geotransform; pixel size 1 written");
    return size;
  }
  const GeoTransform& gt = *geotransform;
  const double width = std::fabs(gt[1]);
  const double height = std::fabs(gt[5]);
  if (!(width < std::numeric_limits<int>::max())) {
    throw ImportError("pixel size " + number_text(width) + " does not fit the descriptor");
  }
  if (gt[2] != 0 || gt[4] != 0) {
    size.warnings.push_back("the raster is rotated or sheared (geotransform terms " +
                            number_text(gt[2]) + " and " + number_text(gt[4]) +
                            "); pixel size taken from the column step alone");
  }
  if (!nearly_equal(width, height)) {
    size.warnings.push_back("pixels are not square (" + number_text(width) + " x " +
                            number_text(height) + "); pixel size taken from their width");
  }
  size.value = whole_pixel_size(width, size.warnings);
  return size;
}

int sample_width_answer(SampleKind kind) {
  return kind == SampleKind::kDem16 ? 0 : 1;
}

int bytes_per_sample(SampleKind kind) {
  return sample_bytes(kind == SampleKind::kImage8, sample_width_answer(kind));
}

std::vector<uint8_t> raw_bytes(const Samples& samples) {
  const int width = bytes_per_sample(samples.kind);
  std::vector<uint8_t> bytes;
  bytes.reserve(samples.values.size() * width);
  for (int32_t value : samples.values) {
    const uint32_t bits = static_cast<uint32_t>(value);  // two's complement
    for (int byte = 0; byte < width; ++byte) {
      bytes.push_back(static_cast<uint8_t>(bits >> (8 * byte)));
    }
  }
  return bytes;
}

DatasetFiles dataset_files(const std::string& folder, const std::string& name, SampleKind kind) {
  const DatasetPaths paths = dataset_paths(dataset_folder_path(folder), name,
                                           kind == SampleKind::kImage8, sample_width_answer(kind));
  return {paths.raw, paths.descriptor};
}

namespace {

// The dataset's two files, made beside their final names and not yet written: the raw file, in
// binary mode, and the descriptor, in text mode like those the program writes.
struct PendingDataset {
  std::unique_ptr<PendingFile> raw;
  std::unique_ptr<PendingFile> descriptor;
};

// Makes both files before anything is written, so that a directory standing at either name is
// found first.
PendingDataset begin_dataset(const std::string& raw_path, const std::string& descriptor_path) {
  int error = 0;
  PendingDataset files;
  files.raw = PendingFile::create(raw_path, false, error);
  if (!files.raw) throw ImportError(write_failure(raw_path, error) + kNothingReplaced);
  files.descriptor = PendingFile::create(descriptor_path, true, error);
  if (!files.descriptor)
    throw ImportError(write_failure(descriptor_path, error) + kNothingReplaced);
  return files;
}

// Puts both files in place together (dataset/pending_file.h): a write that failed shows when
// they are finished, and nothing is renamed then. When a rename fails, commit_together rolls
// back the file renamed before it, so the earlier dataset stands as it was; only a rollback
// that fails too leaves the new file beside the earlier one, and the user must know which.
void commit_dataset(const PendingDataset& files) {
  const std::vector<PendingFile*> pending = {files.raw.get(), files.descriptor.get()};
  const std::vector<int> errors = commit_together(pending);
  for (size_t k = 0; k < pending.size(); ++k) {
    if (errors[k] == 0 || errors[k] == ECANCELED) continue;
    const std::string& path = pending[k]->final_path();
    // finish() gives its first result again: 0 when the file was written in full, and its
    // failure was a rename.
    const std::string failure = pending[k]->finish() == 0 ? rename_failure(path, errors[k])
                                                          : write_failure(path, errors[k]);
    for (const PendingFile* other : pending) {
      if (other != pending[k] && other->replaced()) {
        throw ImportError(failure + ", though " + other->final_path() +
                          " was replaced; import the dataset again");
      }
    }
    throw ImportError(failure + kNothingReplaced);
  }
}

}  // namespace

DatasetFiles write_dataset(const std::string& images_root, const std::string& folder,
                           const std::string& name, const Samples& samples, int pixel_size) {
  const std::string folder_path = host_path(images_root, dataset_folder_path(folder));
  std::error_code error;
  std::filesystem::create_directories(folder_path, error);
  if (error) throw ImportError("cannot create the folder " + folder_path + ": " + error.message());

  // Both files are written in full beside their final names first, and take those names only
  // when both are complete: a failure at any point leaves the earlier dataset as it was, never
  // a new raw file beside an old descriptor that describes another raster.
  const DatasetFiles files = dataset_files(folder, name, samples.kind);
  const std::string raw_path = host_path(images_root, files.raw);
  const std::string descriptor_path = host_path(images_root, files.descriptor);
  const PendingDataset pending = begin_dataset(raw_path, descriptor_path);
  const std::vector<uint8_t> bytes = raw_bytes(samples);
  std::fwrite(bytes.data(), 1, bytes.size(), pending.raw->stream());
  const bool image = samples.kind == SampleKind::kImage8;
  write_descriptor(pending.descriptor->stream(), samples.lines, samples.columns,
                   descriptor_bytes_per_sample(image, sample_width_answer(samples.kind)),
                   pixel_size);
  // Something put in the way of a final name since the files were made is looked for once more
  // just before the renames.
  for (const std::string& path : {raw_path, descriptor_path}) {
    if (std::filesystem::is_directory(path, error)) {
      throw ImportError(write_failure(path, EISDIR) + kNothingReplaced);
    }
  }
  commit_dataset(pending);
  return files;
}

std::vector<std::string> dialog_answers(const std::string& folder, const std::string& name,
                                        SampleKind kind, int unit) {
  if (kind == SampleKind::kImage8) return {folder, "1", name, "0"};
  const std::string sample_width = std::to_string(sample_width_answer(kind));
  return {folder, "0", name, sample_width, "0", std::to_string(unit < 0 ? 0 : unit)};
}

std::string dialog_command(const std::vector<std::string>& answers) {
  assert(!answers.empty());
  std::string format;
  for (const std::string& answer : answers) {
    for (char c : answer) {
      if (c == '%') {
        format += "%%";
      } else if (c == '\'') {
        format += "'\\''";  // leave the shell quote, add a quoted quote, reopen
      } else {
        format += c;
      }
    }
    format += "\\n";
  }
  // A format beginning with - would be read as an option of printf; -- ends them (printf, like
  // every standard utility without options, discards a first --).
  const std::string end_of_options = format[0] == '-' ? "-- " : "";
  return "printf " + end_of_options + "'" + format + "' | scabrosimeter";
}

}  // namespace scab::import
