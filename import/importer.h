// scabrosimeter-import: turns one band of any raster that GDAL reads into a dataset that
// scabrosimeter reads, a headerless raw file and its descriptor under c:\images\FOLDER\.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace scab::import {

// A wrong command line; the message says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input that cannot be read or data that cannot be written faithfully.
class ImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string input;
  std::string folder;
  std::string name;
  int band = 1;
  bool image = false;
  int unit = -1;  // the dialog's height unit: 0 m, 1 dm, 2 cm, 3 mm; -1 when not chosen
  bool crop_valid = false;
  std::optional<double> fill;
  std::string fill_text;    // as given, for messages
  std::string images_root;  // empty: the build's default
  bool help = false;
};

// `args` are the command line without the program name.
Options parse_arguments(const std::vector<std::string>& args);
std::string usage_text();

// One band, line after line; missing cells (NoData or NaN) hold NaN.
struct Grid {
  int lines = 0;
  int columns = 0;
  std::vector<double> values;
};

using GeoTransform = std::array<double, 6>;

struct Band {
  Grid grid;
  std::optional<GeoTransform> geotransform;
};

Band read_band(const std::string& path, int band_number);

long long count_missing(const Grid& grid);
void fill_missing(Grid& grid, double value);

struct Rectangle {
  int top = 0;
  int left = 0;
  int lines = 0;
  int columns = 0;
};

// The largest axis-aligned rectangle without a missing cell; 0 x 0 when every cell is missing.
Rectangle largest_valid_rectangle(const Grid& grid);
Grid crop(const Grid& grid, const Rectangle& rectangle);

enum class SampleKind { kDem16, kDem32, kImage8 };

struct Samples {
  SampleKind kind = SampleKind::kDem16;
  int lines = 0;
  int columns = 0;
  std::vector<int32_t> values;
  int32_t min = 0;
  int32_t max = 0;
};

// A height as it is written: with a unit (0..3) the value, taken as metres, times 10^unit and
// rounded to nearest; without one (-1) the value itself.
double scaled_height(double value, int unit);

// Whole samples from a grid without missing cells. With a unit (0..3) the values, taken as
// metres, are multiplied by 10^unit and rounded to nearest; without one they must be whole.
Samples to_samples(const Grid& grid, bool image, int unit);

struct PixelSize {
  int value = 1;
  std::vector<std::string> warnings;
};

PixelSize pixel_size(const std::optional<GeoTransform>& geotransform);

// The dialog's sample-width answer for the kind of a DEM (0 for 16 bits, 1 for 32 bits; 1 for an
// image, whose dialog asks none), and the bytes of its samples.
int sample_width_answer(SampleKind kind);
int bytes_per_sample(SampleKind kind);
std::vector<uint8_t> raw_bytes(const Samples& samples);

// Paths in Windows form, as scabrosimeter builds them.
struct DatasetFiles {
  std::string raw;
  std::string descriptor;
};

DatasetFiles dataset_files(const std::string& folder, const std::string& name, SampleKind kind);
DatasetFiles write_dataset(const std::string& images_root, const std::string& folder,
                           const std::string& name, const Samples& samples, int pixel_size);

// The dialog's answers in order: folder, data type, name, [sample width], result choice 0,
// [height unit]; the bracketed ones for a DEM only.
std::vector<std::string> dialog_answers(const std::string& folder, const std::string& name,
                                        SampleKind kind, int unit);
std::string dialog_command(const std::vector<std::string>& answers);

// A number as a person would write it: 12, 0.25, -9999, 1e+20.
std::string number_text(double value);

// The whole program: messages to `out`, warnings and refusals to `err`; returns the exit status.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace scab::import
