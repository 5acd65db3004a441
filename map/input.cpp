// The input band, read a run of lines at a time and turned into samples by the importer's rule.
#include <gdal_priv.h>

#include <algorithm>
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

}  // namespace

InputBand::InputBand(const std::string& path, int band_number, bool image, int unit)
    : path_(path), band_number_(band_number), image_(image), unit_(unit) {
  static const bool registered = (GDALAllRegister(), true);
  (void)registered;
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
}

InputBand::~InputBand() = default;

int64_t InputBand::sample_limit() const {
  const GDALDataType type = band_->GetRasterDataType();
  const bool small_type = type == GDT_Byte || type == GDT_UInt16 || type == GDT_Int16;
  return image_ || (small_type && unit_ <= 0) ? 65536 : int64_t{1} << 31;
}

void InputBand::read(int first, int count, int32_t* samples, uint8_t* valid) {
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
