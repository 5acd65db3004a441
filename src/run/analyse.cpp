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
#include "run/progress.h"
#include "run/run.h"

namespace scab {
namespace {

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
  write_results(run, texts_of(analysis));
}

}  // namespace

void write_results(Run& run, const FigureTexts& texts) {
  const ReportFacts facts = report_facts(run);
  // Exact figures are said to be so once, just before them, where they are read.
  std::string console = facts.exact ? kExactFiguresLine : "";
  console += console_results_text(texts);
  fputs(console.c_str(), run.console.out);
  // The result files are written whole, once everything in them is known.
  fputs(report_text(facts, texts).c_str(), run.results.report->stream());
  fputs(texts.table.c_str(), run.results.table->stream());
}

void stop_for_analysis_memory(Run& run) {
  stop_run(run, 1,
           "\n\n\tNot enough memory for the analysis of " + std::to_string(run.dataset.lines) +
               " lines and " + std::to_string(run.dataset.columns) +
               " columns.\n\tFree some memory, or cut the raster into smaller pieces, then run "
               "the program again.\n");
}

void analyse(Run& run) {
  try {
    drive(run);
  } catch (const RasterChanged&) {
    stop_for_changed_file(run);
  } catch (const RasterReadError& failure) {
    stop_for_read_error(run, failure.error);
  } catch (const std::bad_alloc&) {
    stop_for_analysis_memory(run);
  }
}

}  // namespace scab
