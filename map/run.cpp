// The tool's run: the input read a run of lines at a time, each run's map computed on every
// thread and written in line order, the output put in place at the end.
#include <gdal_priv.h>

#include <algorithm>
#include <cassert>
#include <future>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "map/gdal_errors.h"
#include "map/map_tool.h"
#include "map/roughness_map.h"

namespace scab::map_tool {

namespace {

// Lines [first, end) of the input, as samples and validity.
struct HeldLines {
  std::vector<int32_t> samples;
  std::vector<uint8_t> valid;
  int first = 0;
  int end = 0;
  map::LinesView view() const { return {samples.data(), valid.data(), first, end - first}; }
};

// The input's lines for one run of `run` output lines after another, with the `reach` lines
// above and below that their windows cover: the next run's lines are read on a thread of their
// own while the current run is computed, into the other of two buffers.
class LineReader {
 public:
  LineReader(InputBand& input, int run, int reach)
      : input_(input), columns_(input.columns()), run_(run), reach_(reach) {
    for (HeldLines& held : held_) {
      held.samples.resize(static_cast<size_t>(run + 2 * reach) * columns_);
      held.valid.resize(static_cast<size_t>(run + 2 * reach) * columns_);
    }
  }
  ~LineReader() {
    if (reading_.valid()) reading_.wait();  // a failure elsewhere: the read ends, unheard
  }

  // Begins holding the lines of the run from output line `run_first` on, in the buffer that no
  // run reads: the lines that the current run holds too are copied from it, the others read.
  void start(int run_first) {
    const int first = std::max(0, run_first - reach_);
    const int end = std::min(input_.lines(), run_first + run_ + reach_);
    HeldLines& next = held_[1 - current_];
    const HeldLines& now = held_[current_];
    assert(first >= now.first &&
           static_cast<size_t>(end - first) * columns_ <= next.samples.size());
    const auto fill = [this, &next, &now, first, end] {
      const int kept_end = std::max(first, std::min(end, now.end));
      const size_t kept = static_cast<size_t>(kept_end - first) * columns_;
      const size_t skipped = static_cast<size_t>(first - now.first) * columns_;
      std::copy_n(now.samples.data() + skipped, kept, next.samples.data());
      std::copy_n(now.valid.data() + skipped, kept, next.valid.data());
      input_.read(kept_end, end - kept_end, next.samples.data() + kept, next.valid.data() + kept);
      next.first = first;
      next.end = end;
    };
    try {
      reading_ = std::async(std::launch::async, fill);
    } catch (const std::system_error&) {
      fill();  // no thread to be had: read here, with the same lines
    }
  }

  // The lines begun last, once they are read (a failure to read them is thrown here).
  map::LinesView take() {
    if (reading_.valid()) reading_.get();
    current_ = 1 - current_;
    return held_[current_].view();
  }

 private:
  InputBand& input_;
  int columns_;
  int run_;
  int reach_;
  HeldLines held_[2];
  int current_ = 0;
  std::future<void> reading_;
};

// Output lines per run: each thread's share at least four windows high, so that starting its
// sums afresh costs little, and a whole number of the output's blocks, which GDAL can then
// write out complete.
int lines_per_run(int threads, int reach, int block_lines, int lines) {
  const int64_t wanted = std::max<int64_t>(64, int64_t{threads} * 4 * (2 * reach + 1));
  const int64_t blocks = (wanted + block_lines - 1) / block_lines;
  return static_cast<int>(std::min<int64_t>(blocks * block_lines, lines));
}

// GDAL keeps what it reads and writes in a cache, by default a share of the machine's memory;
// unless GDAL_CACHEMAX says otherwise, it gets what a run of output lines needs (their blocks
// are written out after each run) and a little more for the input's blocks, so that the
// tool's memory stays in proportion to a run.
void size_gdal_cache(int64_t run_bytes) {
  if (CPLGetConfigOption("GDAL_CACHEMAX", nullptr)) return;
  GDALSetCacheMax64(run_bytes + (int64_t{16} << 20));
}

struct Progress {
  GDALProgressFunc report;
  void* data;
  void operator()(double done) const {
    if (report && !report(done, nullptr, data)) throw MapError("stopped");
  }
};

map::MapRequest request_of(const Options& options, const InputBand& input) {
  map::MapRequest request;
  request.lines = input.lines();
  request.columns = input.columns();
  request.layers = layers_of(options);
  request.min_valid = options.min_valid;
  request.decimal_places = std::max(options.unit, 0);
  request.sample_limit = input.sample_limit();
  const std::string problem = map::request_problem(request);
  if (!problem.empty()) throw UsageError(problem);
  return request;
}

int threads_to_use() {
  try {
    return map::thread_count();
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
}

// Writes runs of output lines, in line order, on a thread of its own while the next run is read
// and computed: the caller fills one buffer while the other is being written.
class RunWriter {
 public:
  RunWriter(MapWriter& writer, size_t run_values, const Progress& progress, int lines)
      : writer_(writer),
        buffers_{std::vector<float>(run_values), std::vector<float>(run_values)},
        progress_(progress),
        lines_(lines) {}
  ~RunWriter() {
    if (writing_.valid()) writing_.wait();  // a failure elsewhere: the write ends, unheard
  }

  // The buffer to fill next, which no write is reading.
  std::vector<float>& free_buffer() { return buffers_[free_]; }

  // Writes lines [first, first + count) from the buffer just filled, once the run before is
  // written (whose failure is thrown here).
  void write(int first, int count) {
    wait();
    const float* values = buffers_[free_].data();
    const auto write_run = [this, first, count, values] { writer_.write(first, count, values); };
    try {
      writing_ = std::async(std::launch::async, write_run);
    } catch (const std::system_error&) {
      write_run();  // no thread to be had: written here, in the same order
    }
    free_ = 1 - free_;
    pending_end_ = first + count;
  }

  // Waits for the last run to be written.
  void finish() { wait(); }

 private:
  void wait() {
    if (writing_.valid()) writing_.get();
    progress_(static_cast<double>(pending_end_) / lines_);
  }

  MapWriter& writer_;
  std::vector<float> buffers_[2];
  const Progress& progress_;
  int lines_;
  int free_ = 0;
  int pending_end_ = 0;
  std::future<void> writing_;
};

void make_map(const Options& options, const Progress& progress) {
  InputBand input(options.input, options.band, options.image, options.unit);
  const map::MapRequest request = request_of(options, input);
  const int threads = threads_to_use();
  MapWriter writer(options.output, input, request.layers,
                   creation_options(options.creation_options, threads));
  const int reach = map::halo(request);
  const int run = lines_per_run(threads, reach, writer.block_lines(), request.lines);
  const size_t run_values = static_cast<size_t>(run) * request.columns * request.layers.size();
  size_gdal_cache(static_cast<int64_t>(run_values * sizeof(float)));
  LineReader lines(input, run, reach);
  RunWriter runs(writer, run_values, progress, request.lines);
  progress(0);
  lines.start(0);
  for (int first = 0; first < request.lines; first += run) {
    const int count = std::min(run, request.lines - first);
    const map::LinesView held = lines.take();
    if (first + run < request.lines) lines.start(first + run);
    std::vector<float>& values = runs.free_buffer();
    std::vector<float*> outputs;
    for (size_t k = 0; k < request.layers.size(); ++k)
      outputs.push_back(values.data() + k * count * static_cast<size_t>(request.columns));
    map::compute_lines_threaded(request, held, first, count, outputs, threads);
    runs.write(first, count);
  }
  runs.finish();
  writer.commit();
}

// Refuses creation options that GDAL's GeoTIFF driver does not know or whose values it does not
// take, as a wrong command line.
void check_creation_options(const std::vector<std::string>& options) {
  static const bool registered = (GDALAllRegister(), true);
  (void)registered;
  CPLStringList list;
  for (const std::string& option : options)
    list.AddString(option.c_str());
  GdalErrors errors;
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  if (!GDALValidateCreationOptions(driver, list.List())) {
    throw UsageError("GeoTIFF creation options refused" + errors.last_message());
  }
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        GDALProgressFunc progress, void* progress_data) {
  Options options;
  try {
    options = parse_arguments(args);
    check_creation_options(options.creation_options);
  } catch (const UsageError& error) {
    err << "scabrosimeter-map: " << error.what() << "\n"
        << "Try 'scabrosimeter-map --help'.\n";
    return 2;
  }
  if (options.help) {
    out << usage_text();
    return 0;
  }
  try {
    make_map(options, {progress, progress_data});
  } catch (const UsageError& error) {
    err << "scabrosimeter-map: " << error.what() << "\n"
        << "Try 'scabrosimeter-map --help'.\n";
    return 2;
  } catch (const MapError& error) {
    err << "scabrosimeter-map: " << error.what() << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    err << "scabrosimeter-map: not enough memory to map " << options.input << "\n";
    return 1;
  }
  return 0;
}

}  // namespace scab::map_tool
