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

void stop_for_memory(Run& run, uint64_t needed) {
  const Dataset& dataset = run.dataset;
  stop_run(run, 1,
           "\n\n\tNot enough memory for a raster of " + std::to_string(dataset.lines) +
               " lines and " + std::to_string(dataset.columns) + " columns (about " +
               std::to_string(needed / 1000000 + 1) +
               " MB needed).\n\tCheck the descriptor file's numbers of lines and columns, or "
               "free some memory, then run the program again.\n");
}

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
  const uint64_t needed = bytes_needed(dataset.lines, dataset.columns, width);
  const uint64_t memory = usable_memory_bytes();
  if (memory != 0 && needed > memory) stop_for_memory(run, needed);
  try {
    run.raster.reset(new RawRaster(std::move(run.raw_file), dataset.lines, dataset.columns, width));
  } catch (const std::bad_alloc&) {
    stop_for_memory(run, needed);
  } catch (const RasterReadError& failure) {
    stop_for_read_error(run, failure.error);
  } catch (const RasterChanged&) {
    stop_for_changed_file(run);
  }
  const RawRaster& raster = *run.raster;
  run.reading = {raster.bytes_found(), raster.bytes_expected(), raster.minimum(), raster.maximum()};
  fputs(short_file_line(report_facts(run)).c_str(), run.console.out);
}

ReportFacts report_facts(const Run& run) {
  const Answers& answers = run.answers;
  const Reading& reading = run.reading;
  assert(reading.bytes_expected > 0);
  ReportFacts facts;
  facts.raw_path = run.dataset.raw_path;
  facts.raw_bytes_found = reading.bytes_found;
  facts.raw_bytes_expected = reading.bytes_expected;
  facts.image = answers.image;
  facts.minimum = reading.minimum;
  facts.maximum = reading.maximum;
  facts.unit = answers.unit;
  facts.exact = run.exact_figures;
  return facts;
}

}  // namespace scab
