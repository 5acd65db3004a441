// Every figure of the analysis defined once, in plain code: the arithmetic model (arith/xreal.h)
// evaluated one operation at a time, the cells taken one by one in the program's order. The
// README's formula table says the same in words.
//
// The figures are made from sums over the cells (profile_figures, rms_error_figures), and the
// program makes them so from the passes' sums. The passes (analysis/profile.cpp, rms_error.cpp)
// take those sums a faster way, and must give these doubles, bit for bit: the model's own sums
// below (model_profile_sums, model_rms_error_sums) are what the tests compare them with. The
// model's sums hold the whole raster in memory and take one slow operation after another: for
// tests, and small rasters.
#pragma once

#include <vector>

#include "analysis/passes.h"
#include "raster/line_source.h"

namespace scab {

// rnd(xreal(total) / count): the mean of `count` values whose sum is `total`, as every figure
// takes it.
double mean_of(double total, double count);

// The figures of the profile pass from its sums: every line's RMS sqrt(line_squares / columns),
// their average, the columns' average, the image's RMS sqrt(S / cells), its standard deviation
// sqrt(S / cells / (cells - 1)) and the homogeneity of the three.
ProfileResult profile_figures(const ProfileSums& sums);

// The figures of the RMS error pass from its sums, and from the profile pass's sums of the
// interior heights, for a raster of `lines` x `columns` cells: n = (lines - 2) (columns - 2)
// interior cells; the RMS error sqrt(squares / (n - 1)); the standard deviation
// sqrt(spreads / (n - 1)); the regression of y on x, its slope and its correlation r.
RmsErrorResult rms_error_figures(const HeightSums& x, const NeighbourSums& sums, int lines,
                                 int columns);

// The regression's terms, each stored as a double: n Σxy − Σx Σy, and the two whose product r
// takes the root of, n Σx² − (Σx)² and n Σy² − (Σy)² (val1, val2 and val3).
struct RegressionTerms {
  double covariance = 0, variance_x = 0, variance_y = 0;
};
RegressionTerms regression_terms(double n, const HeightSums& x, const NeighbourSums& sums);

// The report's "Homogeneity Coeff.": rnd(xreal(100) - homogeneity), 100 minus the console's
// coefficient; none when that has none.
Value homogeneity_for_report(const ProfileResult& result);

// Heights held in memory, line after line.
using Grid = std::vector<std::vector<double>>;
Grid grid_of(const LineSource& heights);

// The sums of the passes, by the model, one cell after another.
ProfileSums model_profile_sums(const Grid& z);
NeighbourSums model_rms_error_sums(const Grid& z);

// Both passes' figures from their sums over `heights`, each figure whose exact value is
// undefined left without a value (analysis/undefined.h).
Analysis analysis_of(const LineSource& heights, const ProfileSums& profile,
                     const NeighbourSums& neighbours);

// Both passes' figures, by the model.
Analysis model_analysis(const LineSource& heights);

}  // namespace scab
