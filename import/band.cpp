// Reading one band with GDAL, and dealing with its missing cells.
#include <cpl_error.h>
#include <gdal_priv.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "import/importer.h"
#include "import/sample_rule.h"
#include "raster/memory.h"

namespace scab::import {

namespace {

// Keeps GDAL's own error printing quiet while alive; its last message goes into ours.
class QuietGdalErrors {
 public:
  QuietGdalErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietGdalErrors() { CPLPopErrorHandler(); }
  static std::string last_message() {
    const std::string message = CPLGetLastErrorMsg();
    return message.empty() ? "" : ": " + message;
  }
};

std::string gigabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  return text;
}

// While a raster is imported, each cell is held as a double, as a whole sample and as up to
// four bytes of the raw file, all at once.
constexpr uint64_t kBytesPerCell = sizeof(double) + sizeof(int32_t) + 4;

// Refuses a raster whose cells cannot all be held, before any memory is asked for.
void check_size(const std::string& path, int lines, int columns) {
  const uint64_t cells = static_cast<uint64_t>(lines) * static_cast<uint64_t>(columns);
  const std::string size = std::to_string(lines) + " lines x " + std::to_string(columns) +
                           " columns (" + std::to_string(cells) + " cells)";
  if (cells > std::vector<double>().max_size()) {
    throw ImportError(path + " is " + size + ", more cells than this program can hold");
  }
  const uint64_t memory = scab::physical_memory_bytes();
  if (memory > 0 && cells > memory / kBytesPerCell) {
    throw ImportError(path + " is " + size + "; importing it needs about " +
                      gigabytes(static_cast<double>(cells) * kBytesPerCell) +
                      " of memory, and this machine has " + gigabytes(static_cast<double>(memory)));
  }
}

}  // namespace

Band read_band(const std::string& path, int band_number) {
  static const bool registered = (GDALAllRegister(), true);
  (void)registered;
  QuietGdalErrors quiet;
  GDALDatasetUniquePtr dataset(
      GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR));
  if (!dataset) {
    throw ImportError("cannot read " + path + " as a raster" + QuietGdalErrors::last_message());
  }
  const int band_count = dataset->GetRasterCount();
  if (band_number > band_count) {
    throw ImportError(path + " has " + std::to_string(band_count) + " band(s); band " +
                      std::to_string(band_number) + " does not exist");
  }
  GDALRasterBand& band = *dataset->GetRasterBand(band_number);
  if (GDALDataTypeIsComplex(band.GetRasterDataType())) {
    throw ImportError("band " + std::to_string(band_number) + " of " + path +
                      " holds complex numbers, not heights");
  }
  Band result;
  Grid& grid = result.grid;
  grid.lines = band.GetYSize();
  grid.columns = band.GetXSize();
  check_size(path, grid.lines, grid.columns);
  grid.values.resize(static_cast<size_t>(grid.lines) * grid.columns);
  if (band.RasterIO(GF_Read, 0, 0, grid.columns, grid.lines, grid.values.data(), grid.columns,
                    grid.lines, GDT_Float64, 0, 0) != CE_None) {
    throw ImportError("cannot read band " + std::to_string(band_number) + " of " + path +
                      QuietGdalErrors::last_message());
  }
  if (const std::optional<double> nodata = nodata_value(band)) {
    for (double& value : grid.values) {
      if (is_missing(value, nodata)) value = std::numeric_limits<double>::quiet_NaN();
    }
  }
  GeoTransform geotransform;
  if (dataset->GetGeoTransform(geotransform.data()) == CE_None) {
    result.geotransform = geotransform;
  }
  return result;
}

long long count_missing(const Grid& grid) {
  long long missing = 0;
  for (double value : grid.values) {
    if (std::isnan(value)) ++missing;
  }
  return missing;
}

void fill_missing(Grid& grid, double value) {
  for (double& cell : grid.values) {
    if (std::isnan(cell)) cell = value;
  }
}

// Each line is the base of a histogram whose bars are the runs of valid cells ending on it; the
// largest rectangle under each histogram is found with a stack of bars of rising height.
Rectangle largest_valid_rectangle(const Grid& grid) {
  std::vector<int> heights(grid.columns, 0);
  std::vector<int> rising;  // columns whose bars rise from the bottom of the stack up
  Rectangle best;
  long long best_area = 0;
  for (int line = 0; line < grid.lines; ++line) {
    const double* row = grid.values.data() + static_cast<size_t>(line) * grid.columns;
    for (int column = 0; column < grid.columns; ++column) {
      heights[column] = std::isnan(row[column]) ? 0 : heights[column] + 1;
    }
    rising.clear();
    for (int column = 0; column <= grid.columns; ++column) {
      const int height = column < grid.columns ? heights[column] : 0;
      while (!rising.empty() && heights[rising.back()] >= height) {
        const int bar_height = heights[rising.back()];
        rising.pop_back();
        const int left = rising.empty() ? 0 : rising.back() + 1;
        const long long area = static_cast<long long>(bar_height) * (column - left);
        if (area > best_area) {
          best_area = area;
          best = {line - bar_height + 1, left, bar_height, column - left};
        }
      }
      rising.push_back(column);
    }
  }
  return best;
}

Grid crop(const Grid& grid, const Rectangle& rectangle) {
  Grid cropped;
  cropped.lines = rectangle.lines;
  cropped.columns = rectangle.columns;
  cropped.values.reserve(static_cast<size_t>(rectangle.lines) * rectangle.columns);
  for (int line = rectangle.top; line < rectangle.top + rectangle.lines; ++line) {
    const auto row = grid.values.begin() + static_cast<size_t>(line) * grid.columns;
    cropped.values.insert(cropped.values.end(), row + rectangle.left,
                          row + rectangle.left + rectangle.columns);
  }
  return cropped;
}

}  // namespace scab::import
