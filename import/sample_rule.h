// The importer's rule for a band's values, shared by every tool that reads heights through GDAL
// (scabrosimeter-import, scabrosimeter-map): which cells are missing, and the whole sample that
// stands for each other value.
#pragma once

#include <cstdint>
#include <optional>

class GDALRasterBand;

namespace scab::import {

// The band's NoData value as its values hold it (a float band's rounded to float), if any.
std::optional<double> nodata_value(GDALRasterBand& band);

// Whether a value read from the band is a missing cell: NaN, or the band's NoData value.
inline bool is_missing(double value, const std::optional<double>& nodata) {
  return value != value || (nodata && value == *nodata);
}

// The sample for a value that is not missing, found at (line, column): with a unit (0 to 3) the
// value, taken as metres, times 10^unit rounded to nearest; without one (-1) the value itself,
// which must be whole. For an image, a whole number from 0 to 255. Throws ImportError, naming
// the cell, for a value that breaks the rule or does not fit a 32-bit sample.
int32_t to_sample_checked(double value, bool image, int unit, long long line, long long column);

// The same, with the common case first: a whole value in range, which the rule takes as it is.
inline int32_t to_sample(double value, bool image, int unit, long long line, long long column) {
  if (unit < 0 && value >= (image ? 0 : -2147483648.0) && value <= (image ? 255 : 2147483647.0)) {
    const auto whole = static_cast<int32_t>(value);
    if (whole == value) return whole;
  }
  return to_sample_checked(value, image, unit, line, column);
}

}  // namespace scab::import
