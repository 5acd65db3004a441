// The analysis: the profile pass and the RMS error pass over the heights, side by side on two
// threads where they can be had, while a terminal shows how far they are; then their results
// written to the console, and the report and the table written whole.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "analysis/passes.h"
#include "report/report.h"
#include "report/texts.h"
#include "run/run.h"

namespace scab {
namespace {

// The progress line of a long analysis on a terminal: "Analysing: NN %", shown once the
// passes have run for run.progress_after seconds and redrawn in place, then erased.
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

// The heights, with a count of the lines the passes have read: how far they are.
class CountedLines final : public LineSource {
 public:
  explicit CountedLines(const LineSource& heights) : heights_(heights) {}
  int lines() const override { return heights_.lines(); }
  int columns() const override { return heights_.columns(); }
  std::unique_ptr<LineReader> reader() const override {
    return std::make_unique<CountingReader>(heights_.reader(), read_);
  }
  HeightRange range() const override { return heights_.range(); }
  long read() const { return read_.load(std::memory_order_relaxed); }

 private:
  class CountingReader final : public LineReader {
   public:
    CountingReader(std::unique_ptr<LineReader> reader, std::atomic<long>& read)
        : reader_(std::move(reader)), read_(read) {}
    void line(int i, double* out) override {
      reader_->line(i, out);
      read_.fetch_add(1, std::memory_order_relaxed);
    }
    bool samples(int i, int32_t* out) override { return reader_->samples(i, out); }

   private:
    std::unique_ptr<LineReader> reader_;
    std::atomic<long>& read_;
  };

  const LineSource& heights_;
  mutable std::atomic<long> read_{0};
};

void drive(Run& run) {
  const CountedLines heights(*run.raster);
  ProgressLine progress(run, static_cast<long>(kReadsOfEachLine) * heights.lines());
  const Analysis analysis = run_passes(heights, [&] { progress.update(heights.read()); });
  progress.erase();
  // A write after the last block was read would otherwise go unseen.
  run.raster->check_unchanged();
  const FigureTexts texts = texts_of(analysis);
  fputs(console_results_text(texts).c_str(), run.console.out);
  // The result files are written whole, once everything in them is known.
  fputs(report_text(report_facts(run), texts).c_str(), run.results.report->stream());
  fputs(texts.table.c_str(), run.results.table->stream());
}

}  // namespace

void analyse(Run& run) {
  try {
    drive(run);
  } catch (const RasterChanged&) {
    stop_for_changed_file(run);
  } catch (const RasterReadError& failure) {
    stop_for_read_error(run, failure.error);
  } catch (const std::bad_alloc&) {
    stop_run(run, 1,
             "\n\n\tNot enough memory for the analysis of " + std::to_string(run.dataset.lines) +
                 " lines and " + std::to_string(run.dataset.columns) +
                 " columns.\n\tFree some memory, or cut the raster into smaller pieces, then run "
                 "the program again.\n");
  }
}

}  // namespace scab
