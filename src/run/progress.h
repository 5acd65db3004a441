// The progress line of a long analysis on a terminal.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "run/run.h"

namespace scab {

// The progress line of a long analysis on a terminal: "Analysing: NN %", shown once the
// passes (or the exact engine's reading) have run for run.progress_after seconds and redrawn in
// place, then erased.
class ProgressLine {
 public:
  ProgressLine(const Run& run, long total_lines)
      : out_(run.console.out),
        shown_(run.console.terminal),
        after_(run.progress_after),
        total_(total_lines > 0 ? total_lines : 1),
        start_(std::chrono::steady_clock::now()) {}

  void update(long lines_read) {
    if (!shown_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    if (elapsed.count() < after_) return;
    const long percent = std::min(100L, lines_read * 100 / total_);
    fprintf(out_, "\r\tAnalysing: %3ld %%", percent);
    fflush(out_);
    drawn_ = true;
  }

  // Erases the line, if it was drawn, so that the results begin where it stood.
  void erase() {
    if (!drawn_) return;
    fputs("\r                              \r", out_);
    fflush(out_);
    drawn_ = false;
  }

 private:
  FILE* out_;
  bool shown_;
  double after_;
  long total_;
  std::chrono::steady_clock::time_point start_;
  bool drawn_ = false;
};

}  // namespace scab
