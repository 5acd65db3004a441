// Every figure of the README's "Exact formulas", certified, from the summary of a whole raster.
//
// A height is exactly sample × 10^-decimals (the grey level for an image), and a figure is
// the exact real value of its formula on those heights. In sample units (D = 10^decimals,
// L lines, C columns, N = L C cells):
// - a line's RMS is √A / (C D) with A = C Σk² − (Σk)² over the line; RMS line is
//   Σ√A / (N D); RMS column likewise with each column's B = L Σk² − (Σk)²; RMS image is
//   √G / (N D) with G = N Σk² − (Σk)² over all cells; the standard deviation is
//   √(G / (N − 1)) / (N D);
// - with S1 = Σ√A, S2 = Σ√B, S3 = √G: RMS total = 2 (max − min of the S) / (3 N D), Average
//   RMS = (S1 + S2 + S3) / (3 N D), the homogeneity coefficient 200 (max − min) / (S1 + S2 + S3)
//   (|a − b| + |a − c| + |b − c| is twice the largest less the least), the report's 100 less it;
// - over the n interior cells, with P = n ΣxE − Σx ΣE, Qx = n Σx² − (Σx)², Qe = n ΣE² − (ΣE)²:
//   slope P / (8 Qx), r = P / √(Qx Qe), r2 = P² / (Qx Qe) (the units cancel);
//   RMS error √(Σ(4x − F)² / (n − 1)) / (4 D); and with a = |4x − F|, H = Σ|8x − E|, since
//   |z − q| − d = (2n a − H) / (8 n D), the second standard deviation is
//   √((4n Σa² − 4H Σa + H²) / (n (n − 1))) / (8 D).
// Each is a sum of square roots of whole numbers times a rational, or a quotient of two such
// sums, and is certified as exact/certify.h describes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exact/summary.h"

namespace scab::exact {

// One figure: its text as "%f" prints the exact value ("undefined" where it has none), and
// the double nearest to it (0 where undefined, or when the doubles were not asked for).
struct ExactFigure {
  bool defined = false;
  std::string text = "undefined";
  double value = 0;
};

// The figures of a raster, named as the Python module's Result names them.
struct ExactFigures {
  int32_t minimum = 0, maximum = 0;  // the samples' range
  ExactFigure rms_line, rms_column, rms_image, standard_deviation, rms_total, average_rms;
  ExactFigure homogeneity;         // the console's coefficient
  ExactFigure homogeneity_report;  // the report's: 100 less it
  ExactFigure slope, r, r_abs, r2, rms_error, rms_error_sd;
  int64_t interior_cells = 0;
  std::vector<ExactFigure> line_rms;  // the table's rows, one per line
};

// The figures of the raster that `summary` covers whole. `with_doubles` false leaves every
// value at 0: the texts alone cost less. False, with a message, when the summary does not
// cover the whole raster or its sums cannot be a raster's (a summary parsed from bytes that
// were tampered with), or in the case that no raster has shown: a figure that 2^20 bits do not
// settle.
bool exact_figures(const Summary& summary, bool with_doubles, ExactFigures& figures,
                   std::string& error);

}  // namespace scab::exact
