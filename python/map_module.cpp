// scabrosimeter._core's roughness maps: the engine of src/map over a numpy array of samples,
// read where they lie a run of lines at a time, computed without the GIL on a thread of its own
// while the calling thread watches for Ctrl+C. The package (scabrosimeter/maps.py) checks what
// the user gives and makes the dict of maps.
#include "map_module.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "map/roughness_map.h"
#include "raster/memory.h"
#include "signal_watch.h"

namespace py = pybind11;

namespace scab {
namespace {

using Layers = std::vector<std::pair<std::string, int>>;  // (measure name, window), in order

// The map of a raster of `lines` x `columns` samples of `width` bytes; ValueError for a measure
// that does not exist.
map::MapRequest request_of(int lines, int columns, const Layers& layers, double min_valid,
                           int places, int width) {
  map::MapRequest request;
  request.lines = lines;
  request.columns = columns;
  for (const auto& [name, window] : layers) {
    const std::optional<map::Measure> measure = map::measure_from_name(name);
    if (!measure) {
      throw py::value_error("unknown measure '" + name +
                            "': the measures are rms, rms-line, rms-column, homogeneity, "
                            "rms-error, r");
    }
    request.layers.push_back({*measure, window});
  }
  request.min_valid = min_valid;
  request.decimal_places = places;
  request.sample_limit =
      width <= 2 ? 65536 : int64_t{1} << 31;  // 8- and 16-bit samples: 64-bit sums
  return request;
}

// Why the map cannot be computed (a window too large for the raster, ...), or "".
std::string map_problem(int lines, int columns, const Layers& layers, double min_valid,
                        int places) {
  return map::request_problem(request_of(lines, columns, layers, min_valid, places, 4));
}

py::list map_measures() {
  py::list names;
  for (const map::Measure measure : map::all_measures())
    names.append(map::measure_name(measure));
  return names;
}

// A 2-D array of samples where it lies, and the sample that marks a missing cell, if any.
struct Samples {
  const unsigned char* base;
  py::ssize_t line_stride;
  py::ssize_t column_stride;
  std::optional<int64_t> nodata;
};

// Lines [first, end) as the engine takes them: the samples (0 where missing) and their validity,
// line after line.
template <typename Sample>
void take_lines(const Samples& in, int first, int end, int columns, int32_t* samples,
                uint8_t* valid) {
  const bool has_nodata = in.nodata.has_value();
  const int64_t nodata = in.nodata.value_or(0);
  size_t k = 0;
  for (int line = first; line < end; ++line) {
    const unsigned char* cell = in.base + line * in.line_stride;
    for (int column = 0; column < columns; ++column, ++k, cell += in.column_stride) {
      Sample value;
      std::memcpy(&value, cell, sizeof value);
      const bool missing = has_nodata && int64_t{value} == nodata;
      valid[k] = !missing;
      samples[k] = missing ? 0 : static_cast<int32_t>(value);
    }
  }
}

void take_lines(int width, const Samples& in, int first, int end, int columns, int32_t* samples,
                uint8_t* valid) {
  if (width == 1) return take_lines<uint8_t>(in, first, end, columns, samples, valid);
  if (width == 2) return take_lines<uint16_t>(in, first, end, columns, samples, valid);
  take_lines<int32_t>(in, first, end, columns, samples, valid);
}

// Output lines per run: each thread's share at least four windows high, so that starting its
// sums afresh costs little.
int lines_per_run(const map::MapRequest& request, int threads) {
  const int64_t wanted = std::max<int64_t>(64, int64_t{threads} * 4 * (2 * map::halo(request) + 1));
  return static_cast<int>(std::min<int64_t>(wanted, request.lines));
}

// Computes every layer into `outputs` (lines x columns floats each), a run of lines at a time.
void compute_map(const map::MapRequest& request, int width, const Samples& in,
                 const std::vector<float*>& outputs, int threads, const std::atomic<bool>* stop) {
  const int reach = map::halo(request);
  const int run = lines_per_run(request, threads);
  const size_t held_cells = static_cast<size_t>(run + 2 * reach) * request.columns;
  std::vector<int32_t> samples(held_cells);
  std::vector<uint8_t> valid(held_cells);
  std::vector<float*> run_outputs(outputs.size());
  for (int first = 0; first < request.lines; first += run) {
    const int count = std::min(run, request.lines - first);
    const int from = std::max(0, first - reach);
    const int to = std::min(request.lines, first + count + reach);
    take_lines(width, in, from, to, request.columns, samples.data(), valid.data());
    for (size_t k = 0; k < outputs.size(); ++k)
      run_outputs[k] = outputs[k] + static_cast<size_t>(first) * request.columns;
    compute_lines_threaded(request, {samples.data(), valid.data(), from, to - from}, first, count,
                           run_outputs, threads, stop);
  }
}

// MemoryError, with the figures, for a map whose arrays and work are beyond the memory this
// process may use, rather than let the system kill the process on the way: each layer a float a
// cell, the run's samples and validity (5 bytes a cell), each thread's sums (up to about 360
// bytes a column).
void check_memory_for_map(const map::MapRequest& request, int threads) {
  const uint64_t cells =
      static_cast<uint64_t>(request.lines) * static_cast<uint64_t>(request.columns);
  const uint64_t held =
      static_cast<uint64_t>(lines_per_run(request, threads) + 2 * map::halo(request)) *
      request.columns;
  const uint64_t needed = cells * sizeof(float) * request.layers.size() + held * 5 +
                          static_cast<uint64_t>(threads) * request.columns * 360;
  const uint64_t usable = usable_memory_bytes();
  if (usable == 0 || needed <= usable) return;
  const std::string message = "Not enough memory for the map of a raster of " +
                              std::to_string(request.lines) + " lines and " +
                              std::to_string(request.columns) + " columns in " +
                              std::to_string(request.layers.size()) + " layer(s): about " +
                              std::to_string(needed / 1000000 + 1) + " MB needed, " +
                              std::to_string(usable / 1000000) + " MB usable.";
  PyErr_SetString(PyExc_MemoryError, message.c_str());
  throw py::error_already_set();
}

// The maps of `samples`, a 2-D array of `width`-byte samples in the machine's order (the package
// has checked its type, shape and arguments), one float32 array for each layer, in order: all
// the work without the GIL on `threads` threads (0: map::thread_count()), stopped by a Python
// exception that a signal handler raises meanwhile.
py::list roughness_map(const py::array& samples, int width, const Layers& layers, int places,
                       std::optional<int64_t> nodata, double min_valid, int threads) {
  const py::buffer_info info = samples.request();
  if (info.ndim != 2 || info.itemsize != width || info.shape[0] < 1 || info.shape[1] < 1 ||
      info.shape[0] > INT32_MAX || info.shape[1] > INT32_MAX) {
    throw py::value_error("samples: a 2-D array of samples of the given width was expected");
  }
  const map::MapRequest request =
      request_of(static_cast<int>(info.shape[0]), static_cast<int>(info.shape[1]), layers,
                 min_valid, places, width);
  const std::string problem = map::request_problem(request);
  if (!problem.empty()) throw py::value_error(problem);
  if (threads <= 0) threads = map::thread_count();  // std::invalid_argument: a ValueError
  check_memory_for_map(request, threads);
  py::list maps;
  std::vector<float*> outputs;
  for (size_t k = 0; k < request.layers.size(); ++k) {
    py::array_t<float> layer(
        {static_cast<py::ssize_t>(request.lines), static_cast<py::ssize_t>(request.columns)});
    outputs.push_back(layer.mutable_data());
    maps.append(layer);
  }
  const Samples in{static_cast<const unsigned char*>(info.ptr), info.strides[0], info.strides[1],
                   nodata};
  SignalWatch watch;
  std::exception_ptr failure;
  {
    py::gil_scoped_release unlocked;
    failure = run_watched([&] { compute_map(request, width, in, outputs, threads, watch.stop()); },
                          watch);
  }
  watch.raise_if_stopped();
  if (failure) std::rethrow_exception(failure);  // std::bad_alloc: a MemoryError
  return maps;
}

}  // namespace

void add_map_functions(py::module_& module) {
  module.def("roughness_map", &roughness_map, py::arg("samples"), py::arg("width"),
             py::arg("layers"), py::arg("places"), py::arg("nodata"), py::arg("min_valid"),
             py::arg("threads"));
  module.def("map_problem", &map_problem, py::arg("lines"), py::arg("columns"), py::arg("layers"),
             py::arg("min_valid"), py::arg("places"));
  module.def("map_measures", &map_measures);
}

}  // namespace scab
