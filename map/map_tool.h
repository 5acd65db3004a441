// scabrosimeter-map: moving-window roughness maps of one band of any raster GDAL reads, written
// as a Float32 GeoTIFF with one band per measure and window.
#pragma once

#include <gdal.h>

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "map/measures.h"

class GDALDataset;
class GDALRasterBand;

namespace scab::map_tool {

// A wrong command line (exit status 2); the message says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An input that cannot be read or an output that cannot be written (exit status 1).
class MapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string input;
  std::string output;
  int band = 1;
  bool image = false;
  int unit = -1;  // 0 m, 1 dm, 2 cm, 3 mm: heights taken as metres, rounded to this unit
  std::vector<int> windows = {3};
  std::vector<map::Measure> measures = {map::Measure::kRms};
  double min_valid = 1.0;
  std::vector<std::string> creation_options;  // KEY=VALUE, for GDAL's GeoTIFF driver
  bool help = false;
};

// `args` are the command line without the program name. Checks what can be checked without
// the raster: windows and measures as they are, the --min-valid fraction, the options' forms.
Options parse_arguments(const std::vector<std::string>& args);
std::string usage_text();

// The map's bands: every window of the first measure, then of the next, and so on.
std::vector<map::Layer> layers_of(const Options& options);

// GeoTIFF creation options: ours (tiled, compressed, BigTIFF when needed) where the user's
// `--co` do not set the same key, then the user's.
std::vector<std::string> creation_options(const std::vector<std::string>& user, int threads);

// One band of the input, read a run of lines at a time as samples by the importer's rule.
class InputBand {
 public:
  InputBand(const std::string& path, int band_number, bool image, int unit);
  ~InputBand();
  InputBand(const InputBand&) = delete;
  InputBand& operator=(const InputBand&) = delete;

  int lines() const { return lines_; }
  int columns() const { return columns_; }
  bool image() const { return image_; }
  GDALDataset& dataset() const { return *dataset_; }
  GDALRasterBand& band() const { return *band_; }
  // How far from 0 a sample can be: 65536 when the band's type and the unit keep it so.
  int64_t sample_limit() const;
  // Lines [first, first + count): `samples` and `valid` get count x columns values each.
  void read(int first, int count, int32_t* samples, uint8_t* valid);

 private:
  void read_as_they_are(int first, int count, int32_t* samples, uint8_t* valid);
  void read_values(int first, int count, int32_t* samples, uint8_t* valid);

  std::string path_;
  std::unique_ptr<GDALDataset> dataset_;
  GDALRasterBand* band_ = nullptr;
  int band_number_;
  bool image_;
  int unit_;
  int lines_ = 0;
  int columns_ = 0;
  std::optional<double> nodata_;
  bool as_they_are_ = false;  // samples_as_they_are: read as Int32, without values_
  std::vector<double> values_;
};

// The output GeoTIFF, written beside its final name and put in place whole by commit().
class MapWriter {
 public:
  MapWriter(const std::string& path, const InputBand& input, const std::vector<map::Layer>& layers,
            const std::vector<std::string>& options);
  ~MapWriter();
  MapWriter(const MapWriter&) = delete;
  MapWriter& operator=(const MapWriter&) = delete;

  // The lines of one block of the output's bands: write runs of a multiple of it.
  int block_lines() const { return block_lines_; }
  // Lines [first, first + count) of every band: `values` holds band after band, each
  // count x columns.
  void write(int first, int count, const float* values);
  // Closes the file and renames it over the final name; MapError when anything failed.
  void commit();

 private:
  struct Pending;
  std::unique_ptr<Pending> pending_;
  int columns_;
  int bands_;
  int block_lines_ = 1;
};

// The whole program: messages to `err`, progress through `progress` (GDAL's form, given
// `progress_data`; nullptr for none). Returns the exit status.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        GDALProgressFunc progress, void* progress_data = nullptr);

}  // namespace scab::map_tool
