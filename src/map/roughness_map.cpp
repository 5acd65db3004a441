#include "map/roughness_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>

#include "map/window_sweep.h"

namespace scab::map {

namespace {

// Throws std::invalid_argument for a sample that breaks the promises of compute_lines on lines
// [first, end); returns whether every cell of them is valid.
bool check_samples(const MapRequest& request, const LinesView& input, int first, int end) {
  const size_t begin = static_cast<size_t>(first - input.first_line) * request.columns;
  const size_t cells = static_cast<size_t>(end - first) * request.columns;
  const CellsChecked checked =
      check_cells(input.samples + begin, input.valid + begin, cells, request.sample_limit);
  if (checked.broken) {
    throw std::invalid_argument("a sample is further from 0 than the limit of " +
                                std::to_string(request.sample_limit) +
                                ", or a missing cell is not marked 0 with sample 0");
  }
  return checked.complete;
}

// Throws std::invalid_argument for what compute_lines refuses; returns whether every cell of
// the lines that the windows cover is valid.
bool check_input(const MapRequest& request, const LinesView& input, int first, int count,
                 size_t outputs) {
  const std::string problem = request_problem(request);
  if (!problem.empty()) throw std::invalid_argument(problem);
  if (outputs != request.layers.size()) {
    throw std::invalid_argument("one output is needed for each layer");
  }
  if (first < 0 || count < 0 || count > request.lines - first) {
    throw std::invalid_argument("the lines to compute are not all inside the raster");
  }
  const int reach = halo(request);
  const int needed_first = std::max(0, first - reach);
  const int needed_end = std::min(request.lines, first + count + reach);
  if (count > 0 && (input.first_line > needed_first ||
                    input.first_line + static_cast<int64_t>(input.count) < needed_end)) {
    throw std::invalid_argument("the input lacks lines " + std::to_string(needed_first) + " to " +
                                std::to_string(needed_end - 1) + " that the windows cover");
  }
  return count == 0 || check_samples(request, input, needed_first, needed_end);
}

// The sweep of one window size, its sums in `Wide` integers.
template <typename Wide>
void sweep(const MapRequest& request, int window, const std::vector<Measure>& measures,
           const LinesView& input, bool complete, int first, int count,
           const std::vector<float*>& outputs, const std::atomic<bool>* stop) {
  if constexpr (std::is_same_v<Wide, int64_t>) {
    sweep_window_64(request, window, measures, input, complete, first, count, outputs, stop);
  } else {
    sweep_window_128(request, window, measures, input, complete, first, count, outputs, stop);
  }
}

}  // namespace

bool sums_fit_64_bits(const MapRequest& request) {
  int largest = 0;
  for (const Layer& layer : request.layers)
    largest = std::max(largest, layer.window);
  return request.sample_limit <= 65536 && largest <= 181;
}

void compute_lines(const MapRequest& request, const LinesView& input, int first, int count,
                   const std::vector<float*>& outputs, const std::atomic<bool>* stop) {
  const bool complete = check_input(request, input, first, count, outputs.size());
  if (count == 0) return;
  const bool narrow = sums_fit_64_bits(request);
  std::vector<int> windows_done;
  for (const Layer& layer : request.layers) {
    const int window = layer.window;
    if (std::find(windows_done.begin(), windows_done.end(), window) != windows_done.end()) {
      continue;
    }
    windows_done.push_back(window);
    std::vector<Measure> measures;
    std::vector<float*> window_outputs;
    for (size_t k = 0; k < request.layers.size(); ++k) {
      if (request.layers[k].window != window) continue;
      measures.push_back(request.layers[k].measure);
      window_outputs.push_back(outputs[k]);
    }
    if (narrow) {
      sweep<int64_t>(request, window, measures, input, complete, first, count, window_outputs,
                     stop);
    } else {
      sweep<__int128>(request, window, measures, input, complete, first, count, window_outputs,
                      stop);
    }
  }
}

void compute_lines_threaded(const MapRequest& request, const LinesView& input, int first, int count,
                            const std::vector<float*>& outputs, int threads,
                            const std::atomic<bool>* stop) {
  // A run starts its sums afresh over a whole window: runs shorter than a window would spend
  // more on that than on their lines.
  const int window = 2 * halo(request) + 1;
  const int runs = std::max(1, std::min(threads, count / window));
  std::vector<std::exception_ptr> errors(runs);
  const auto run = [&](int k) {
    const int run_first = first + static_cast<int>(static_cast<int64_t>(count) * k / runs);
    const int run_end = first + static_cast<int>(static_cast<int64_t>(count) * (k + 1) / runs);
    std::vector<float*> run_outputs;
    for (float* output : outputs)
      run_outputs.push_back(output + static_cast<size_t>(run_first - first) * request.columns);
    try {
      compute_lines(request, input, run_first, run_end - run_first, run_outputs, stop);
    } catch (...) {
      errors[k] = std::current_exception();
    }
  };
  std::vector<std::thread> started;
  for (int k = 1; k < runs; ++k) {
    try {
      started.emplace_back(run, k);
    } catch (const std::system_error&) {
      run(k);  // no thread to be had: the run is computed here, with the same values
    }
  }
  run(0);
  for (std::thread& thread : started)
    thread.join();
  for (const std::exception_ptr& error : errors) {
    if (error) std::rethrow_exception(error);
  }
}

int thread_count() {
  if (const char* text = std::getenv("SCABROSIMETER_THREADS")) {
    char* end = nullptr;
    errno = 0;
    const long threads = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || threads < 1 || threads > 1024) {
      throw std::invalid_argument(
          "SCABROSIMETER_THREADS must be a whole number from 1 to 1024, not '" + std::string(text) +
          "'");
    }
    return static_cast<int>(threads);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace scab::map
