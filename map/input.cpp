// The input band, read a run of lines at a time and turned into samples by the importer's rule.
#include <gdal_priv.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

#include "import/importer.h"
#include "import/sample_rule.h"
#include "map/gdal_errors.h"
#include "map/map_tool.h"

namespace scab::map_tool {

namespace {

// The lines read from GDAL at once: enough to read whole strips or tiles' rows from its cache,
// few enough that the values, held as doubles, stay small beside the samples.
constexpr int kLinesPerRead = 16;

// Whether the importer's rule takes every value of a band of this type as it is: whole numbers
// that a 32-bit sample holds, with no unit to scale them by (metres stay metres), and for an
// image bytes. GDAL then gives the samples themselves, as Int32, without a value as a double.
bool samples_as_they_are(GDALDataType type, bool image, int unit) {
  if (unit > 0) return false;
  if (image) return type == GDT_Byte;
  return type == GDT_Byte || type == GDT_UInt16 || type == GDT_Int16 || type == GDT_Int32;
}

// The sample that stands for a missing cell among whole 32-bit values: the NoData value when it
// is one of them; none when no value can match it.
std::optional<int32_t> whole_nodata(const std::optional<double>& nodata) {
  if (!nodata || !(*nodata >= INT32_MIN && *nodata <= INT32_MAX)) return std::nullopt;
  const auto whole = static_cast<int32_t>(*nodata);
  if (whole != *nodata) return std::nullopt;
  return whole;
}

}  // namespace

InputBand::InputBand(const std::string& path, int band_number, bool image, int unit)
    : path_(path), band_number_(band_number), image_(image), unit_(unit) {
  static const bool registered = (GDALAllRegister(), true);
  (void)registered;
  // An uncompressed GeoTIFF read straight into the lines asked for, not through GDAL's cache of
  // blocks: a third less of the reading's time (an 8000 x 8000 Int16 DEM of one-line strips).
  // GDAL's option, read when the file is opened; the user's setting, if any, stands.
  if (!CPLGetConfigOption("GTIFF_DIRECT_IO", nullptr)) CPLSetConfigOption("GTIFF_DIRECT_IO", "YES");
  GdalErrors errors;
  dataset_.reset(
      GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR));
  if (!dataset_) throw MapError("cannot read " + path + " as a raster" + errors.last_message());
  const int band_count = dataset_->GetRasterCount();
  if (band_number > band_count) {
    throw MapError(path + " has " + std::to_string(band_count) + " band(s); band " +
                   std::to_string(band_number) + " does not exist");
  }
  band_ = dataset_->GetRasterBand(band_number);
  if (GDALDataTypeIsComplex(band_->GetRasterDataType())) {
    throw MapError("band " + std::to_string(band_number) + " of " + path +
                   " holds complex numbers, not heights");
  }
  lines_ = band_->GetYSize();
  columns_ = band_->GetXSize();
  nodata_ = import::nodata_value(*band_);
  as_they_are_ = samples_as_they_are(band_->GetRasterDataType(), image, unit);
}

InputBand::~InputBand() = default;

int64_t InputBand::sample_limit() const {
  const GDALDataType type = band_->GetRasterDataType();
  const bool small_type = type == GDT_Byte || type == GDT_UInt16 || type == GDT_Int16;
  return image_ || (small_type && unit_ <= 0) ? 65536 : int64_t{1} << 31;
}

void InputBand::read(int first, int count, int32_t* samples, uint8_t* valid) {
  if (as_they_are_) {
    read_as_they_are(first, count, samples, valid);
  } else {
    read_values(first, count, samples, valid);
  }
}

void InputBand::read_as_they_are(int first, int count, int32_t* samples, uint8_t* valid) {
  GdalErrors errors;
  if (band_->RasterIO(GF_Read, 0, first, columns_, count, samples, columns_, count, GDT_Int32, 0,
                      0) != CE_None) {
    throw MapError("cannot read band " + std::to_string(band_number_) + " of " + path_ +
                   errors.last_message());
  }
  const size_t cells = static_cast<size_t>(count) * columns_;
  const std::optional<int32_t> nodata = whole_nodata(nodata_);
  if (!nodata) {
    std::fill(valid, valid + cells, uint8_t{1});
    return;
  }
  const int32_t missing = *nodata;
  for (size_t k = 0; k < cells; ++k) {
    valid[k] = samples[k] != missing;
    samples[k] = samples[k] != missing ? samples[k] : 0;
  }
}

void InputBand::read_values(int first, int count, int32_t* samples, uint8_t* valid) {
  values_.resize(static_cast<size_t>(std::min(count, kLinesPerRead)) * columns_);
  for (int done = 0; done < count; done += kLinesPerRead) {
    const int lines = std::min(kLinesPerRead, count - done);
    GdalErrors errors;
    if (band_->RasterIO(GF_Read, 0, first + done, columns_, lines, values_.data(), columns_, lines,
                        GDT_Float64, 0, 0) != CE_None) {
      throw MapError("cannot read band " + std::to_string(band_number_) + " of " + path_ +
                     errors.last_message());
    }
    try {
      for (int line = 0; line < lines; ++line) {
        const size_t start = static_cast<size_t>(line) * columns_;
        const size_t offset = static_cast<size_t>(done) * columns_ + start;
        for (int column = 0; column < columns_; ++column) {
          const double value = values_[start + column];
          const bool missing = import::is_missing(value, nodata_);
          valid[offset + column] = !missing;
          samples[offset + column] =
              missing ? 0 : import::to_sample(value, image_, unit_, first + done + line, column);
        }
      }
    } catch (const import::ImportError& error) {
      throw MapError(path_ + ": " + error.what());
    }
  }
}

}  // namespace scab::map_tool
