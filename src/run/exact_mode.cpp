// The exact figures of a run (--figures exact): the raster read once by the exact engine, on
// every core, for its range and every sum in sample units, before the unit question; then,
// once the unit is known, every figure certified for heights of that many decimals, and written
// as the model's are, after the line that says they are exact (report/report.h).
//
// The reading is the program's own (raster/raw_file.h): the file's size and times checked at
// every block and once more at the end, a short file's missing cells read as 0. Memory: a
// block of lines and a few lines' sums per thread, and the sums of every line and column
// (exact::bytes_needed()), never the cells.
#include "run/exact_mode.h"

#include <atomic>
#include <cassert>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "dataset/raw_layout.h"
#include "dataset/units.h"
#include "exact/driver.h"
#include "exact/figures.h"
#include "exact/texts.h"
#include "raster/memory.h"
#include "raster/raw_file.h"
#include "report/report.h"
#include "run/progress.h"
#include "run/run.h"

namespace scab {

RawFileLines::RawFileLines(const RawFile& file) : file_(file) {}

bool RawFileLines::read(int64_t first, int64_t count, unsigned char* bytes,
                        std::string& error) const {
  assert(first >= 0 && count >= 0 && first + count <= file_.lines());
  try {
    file_.read_lines(static_cast<int>(first), static_cast<int>(count), bytes);
  } catch (const RasterChanged& changed) {
    error = note(Failure::changed, 0, changed.what());
    return false;
  } catch (const RasterReadError& failure) {
    error = note(Failure::read_error, failure.error, failure.what());
    return false;
  }
  lines_read_.fetch_add(count, std::memory_order_relaxed);
  return true;
}

std::string RawFileLines::note(Failure failure, int error_number, const char* what) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  if (failure_ == Failure::none) {
    failure_ = failure;
    error_number_ = error_number;
  }
  return what;
}

namespace {

// The engine's summary of the raster, on `threads` threads. On a terminal the reading runs
// beside this thread, which draws the progress line of a long one.
bool summarise(Run& run, const RawFileLines& source, const exact::Raster& raster, int threads,
               exact::Summary& summary, std::string& error) {
  const auto work = [&] { return exact::summarise(source, raster, threads, summary, error); };
  std::future<bool> ahead;
  if (run.console.terminal) {
    try {
      ahead = std::async(std::launch::async, work);
    } catch (const std::system_error&) {  // no thread to spare: no progress line
    }
  }
  if (!ahead.valid()) return work();
  ProgressLine progress(run, static_cast<long>(raster.lines));
  while (ahead.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready)
    progress.update(source.lines_read());
  progress.erase();
  return ahead.get();
}

// The one reading of the raster: its sums, its range, and what the file holds of it (in
// run.reading). Stops the run when the memory is lacking, or the file cannot be read or
// changes meanwhile.
exact::Summary read_once(Run& run, const exact::Raster& raster, int threads) {
  const uint64_t needed = exact::bytes_needed(raster, threads);
  const uint64_t memory = usable_memory_bytes();
  if (memory != 0 && needed > memory) stop_for_memory(run, needed);
  std::unique_ptr<RawFile> file;
  exact::Summary summary;
  try {
    file = std::make_unique<RawFile>(std::move(run.raw_file), run.dataset.lines,
                                     run.dataset.columns, static_cast<int>(raster.type));
    const RawFileLines source(*file);
    std::string error;
    if (!summarise(run, source, raster, threads, summary, error)) {
      if (source.failure() == RawFileLines::Failure::changed) stop_for_changed_file(run);
      if (source.failure() == RawFileLines::Failure::read_error)
        stop_for_read_error(run, source.error_number());
      stop_for_memory(run, needed);  // what else fails: the memory for the sums
    }
    // A write after the last block was read would otherwise go unseen.
    file->check_unchanged();
  } catch (const std::bad_alloc&) {
    stop_for_memory(run, needed);
  } catch (const RasterReadError& failure) {
    stop_for_read_error(run, failure.error);
  } catch (const RasterChanged&) {
    stop_for_changed_file(run);
  }
  run.reading = {file->bytes_found(), file->bytes_expected(), summary.minimum, summary.maximum};
  return summary;
}

}  // namespace

void analyse_exactly(Run& run) {
  const Answers& answers = run.answers;
  const exact::SampleType type =
      static_cast<exact::SampleType>(sample_bytes(answers.image, answers.sample_width_answer));
  exact::Summary summary =
      read_once(run, exact::Raster{run.dataset.lines, run.dataset.columns, type, 0},
                exact::threads_from_environment());
  fputs(short_file_line(report_facts(run)).c_str(), run.console.out);
  prepare_heights(run);
  // The sums are in sample units: the unit only sets the decimals of the heights that the
  // figures are certified for.
  summary.raster.decimals = answers.image ? 0 : unit_decimals(answers.unit);
  exact::ExactFigures figures;
  std::string error;
  bool certified = false;
  try {
    certified = exact::exact_figures(summary, false, figures, error);
  } catch (const std::bad_alloc&) {
    stop_for_analysis_memory(run);
  }
  if (!certified) {
    stop_run(run, 1,
             "\n\n\tThe figures could not be certified: " + error +
                 ".\n\tRun the program again without --figures exact for the model's "
                 "figures.\n");
  }
  write_results(run, exact::texts_of(figures));
}

}  // namespace scab
