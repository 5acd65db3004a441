// Loading of the raw raster: its first reading, for its size and the range of its samples.
//
// The samples are not held in memory (raster/raw_raster.h): the passes read the file again a
// line at a time, in the height unit that the operator names afterwards.
#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "dataset/raw_layout.h"
#include "raster/memory.h"
#include "raster/raw_raster.h"
#include "report/report.h"
#include "run/run.h"

namespace scab {
namespace {

[[noreturn]] void stop_for_memory(Run& run, int width) {
  const Dataset& dataset = run.dataset;
  const uint64_t needed = bytes_needed(dataset.lines, dataset.columns, width);
  stop_run(run, 1,
           "\n\n\tNot enough memory for a raster of " + std::to_string(dataset.lines) +
               " lines and " + std::to_string(dataset.columns) + " columns (about " +
               std::to_string(needed / 1000000 + 1) +
               " MB needed).\n\tCheck the descriptor file's numbers of lines and columns, or "
               "free some memory, then run the program again.\n");
}

}  // namespace

// A read that failed (rather than a file that ended) leaves nothing sound to analyse.
void stop_for_read_error(Run& run, int error) {
  stop_run(run, 1,
           "\n\n\tThe file " + run.dataset.raw_path +
               " could not be read: " + std::strerror(error) +
               ".\n\tCheck the file and the device it is on, then run the program again.\n");
}

void stop_for_changed_file(Run& run) {
  stop_run(run, 1,
           "\n\n\tThe file " + run.dataset.raw_path +
               " changed during the analysis: it no longer holds what it held when it was "
               "first read.\n\tRun the program again once nothing else writes to it.\n");
}

void load_raster(Run& run) {
  const Dataset& dataset = run.dataset;
  const int width = sample_bytes(run.answers.image, run.answers.sample_width_answer);
  // A raster whose lines cannot fit in the memory this run may use stops before anything large
  // is asked for.
  const uint64_t memory = usable_memory_bytes();
  if (memory != 0 && bytes_needed(dataset.lines, dataset.columns, width) > memory) {
    stop_for_memory(run, width);
  }
  try {
    run.raster.reset(new RawRaster(std::move(run.raw_file), dataset.lines, dataset.columns, width));
  } catch (const std::bad_alloc&) {
    stop_for_memory(run, width);
  } catch (const RasterReadError& failure) {
    stop_for_read_error(run, failure.error);
  } catch (const RasterChanged&) {
    stop_for_changed_file(run);
  }
  fputs(short_file_line(report_facts(run)).c_str(), run.console.out);
}

ReportFacts report_facts(const Run& run) {
  assert(run.raster);
  const Answers& answers = run.answers;
  const RawRaster& raster = *run.raster;
  ReportFacts facts;
  facts.raw_path = run.dataset.raw_path;
  facts.raw_bytes_found = raster.bytes_found();
  facts.raw_bytes_expected = raster.bytes_expected();
  facts.image = answers.image;
  facts.minimum = raster.minimum();
  facts.maximum = raster.maximum();
  facts.unit = answers.unit;
  return facts;
}

}  // namespace scab
