// The report of a raster analysed from Python, whichever engine gave its figures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "report/report.h"

namespace scab {

// The report file's bytes, as the program writes them for the raster that `facts` describes
// (all but its path and the bytes its file holds), with `texts` as its figures, the raw file at
// `raw_path` holding `raw_file_bytes` (when fewer than the samples', the report warns of it;
// none: a whole file).
inline std::string report_at(ReportFacts facts, const FigureTexts& texts,
                             const std::string& raw_path,
                             const std::optional<uint64_t>& raw_file_bytes) {
  facts.raw_path = raw_path;
  facts.raw_bytes_found = raw_file_bytes ? std::min(*raw_file_bytes, facts.raw_bytes_expected)
                                         : facts.raw_bytes_expected;
  return report_text(facts, texts);
}

}  // namespace scab
