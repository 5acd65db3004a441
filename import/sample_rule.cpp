#include "import/sample_rule.h"

#include <gdal_priv.h>

#include <cassert>
#include <cmath>
#include <limits>
#include <string>

#include "import/importer.h"

namespace scab::import {

std::optional<double> nodata_value(GDALRasterBand& band) {
  int has_nodata = 0;
  double nodata = 0;
  switch (band.GetRasterDataType()) {
#if GDAL_VERSION_NUM >= GDAL_COMPUTE_VERSION(3, 5, 0)
    case GDT_Int64:
      nodata = static_cast<double>(band.GetNoDataValueAsInt64(&has_nodata));
      break;
    case GDT_UInt64:
      nodata = static_cast<double>(band.GetNoDataValueAsUInt64(&has_nodata));
      break;
#endif
    case GDT_Float32:
      // Samples read from a float band are exact floats; a NoData of 0.1 matches 0.1f.
      nodata = static_cast<float>(band.GetNoDataValue(&has_nodata));
      break;
    default:
      nodata = band.GetNoDataValue(&has_nodata);
  }
  if (!has_nodata) return std::nullopt;
  return nodata;
}

double scaled_height(double value, int unit) {
  assert(unit >= -1 && unit <= 3);
  const double factors[] = {1, 10, 100, 1000};
  return unit < 0 ? value : std::round(value * factors[unit]);
}

int32_t to_sample_checked(double value, bool image, int unit, long long line, long long column) {
  const auto at = [&] {
    return " at line " + std::to_string(line) + ", column " + std::to_string(column);
  };
  if (std::isnan(value)) throw ImportError("missing cell" + at());
  const bool has_fraction = std::isfinite(value) && value != std::floor(value);
  if (unit < 0 && has_fraction && image) {
    throw ImportError("image values must be whole numbers; found " + number_text(value) + at());
  }
  if (unit < 0 && has_fraction) {
    throw ImportError("heights have fractions (" + number_text(value) + at() +
                      "); choose the unit to write them in, rounded to whole units, with "
                      "--unit dm, cm or mm");
  }
  const double whole = scaled_height(value, unit);
  if (image && !(whole >= 0 && whole <= 255)) {
    throw ImportError("image values must be from 0 to 255; found " + number_text(value) + at());
  }
  if (!(whole >= std::numeric_limits<int32_t>::min() &&
        whole <= std::numeric_limits<int32_t>::max())) {
    const std::string scaled = unit > 0 ? " (" + number_text(whole) + " after scaling)" : "";
    throw ImportError("height " + number_text(value) + scaled + " does not fit a 32-bit sample" +
                      at());
  }
  return static_cast<int32_t>(whole);
}

}  // namespace scab::import
