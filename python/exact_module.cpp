// scabrosimeter._core's exact figures: the exact engine (src/exact) over a numpy array of
// samples, read where they lie on the engine's threads without the GIL, the calling thread
// watching for Ctrl+C; and the summaries of a dask array's chunks: each chunk's built from the
// chunk and the ring of cells around it, summaries merged, figures from the whole raster's.
// Summaries travel as the engine's bytes. The package (scabrosimeter/__init__.py,
// scabrosimeter/dask.py) checks what the user gives and wraps the results.
#include "exact_module.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dataset/units.h"
#include "exact/driver.h"
#include "exact/figures.h"
#include "exact/summary.h"
#include "exact/texts.h"
#include "raster/memory.h"
#include "report/report.h"
#include "report_facts.h"
#include "signal_watch.h"

namespace py = pybind11;

namespace scab {
namespace {

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// The raster of `lines` x `columns` samples of `width` bytes (1: an 8-bit image; 2, 4: a DEM in
// height unit `unit`), as the engine knows it.
exact::Raster raster_of(int64_t lines, int64_t columns, int width, int unit, bool image) {
  const exact::SampleType type = width == 1   ? exact::SampleType::grey8
                                 : width == 2 ? exact::SampleType::height16
                                              : exact::SampleType::height32;
  exact::Raster raster{lines, columns, type, image || !is_unit(unit) ? 0 : unit_decimals(unit)};
  if (image != (type == exact::SampleType::grey8) || (!image && !is_unit(unit)))
    raise(PyExc_ValueError, "samples of " + std::to_string(width) + " bytes are no " +
                                (image ? "image's" : "DEM's") + " samples, or no such unit");
  const std::string problem = exact::check_raster(raster);
  if (!problem.empty()) raise(PyExc_ValueError, problem);
  return raster;
}

// The exact engine's figures of one raster, with what its report says of the raster.
class ExactAnalysed {
 public:
  ExactAnalysed(const exact::Raster& raster, exact::ExactFigures figures)
      : figures_(std::move(figures)), texts_(exact::texts_of(figures_)) {
    const int width = static_cast<int>(raster.type);
    facts_.raw_bytes_expected = static_cast<uint64_t>(raster.lines) *
                                static_cast<uint64_t>(raster.columns) *
                                static_cast<uint64_t>(width);
    facts_.image = raster.type == exact::SampleType::grey8;
    facts_.minimum = figures_.minimum;
    facts_.maximum = figures_.maximum;
    for (int unit = 0; unit < kUnitCount; unit++) {
      if (unit_decimals(unit) == raster.decimals) facts_.unit = unit;
    }
    facts_.exact = true;
  }

  py::dict figures() const {
    const exact::ExactFigures& f = figures_;
    py::dict d;
    d["minimum"] = f.minimum;
    d["maximum"] = f.maximum;
    const std::pair<const char*, const exact::ExactFigure*> named[] = {
        {"rms_line", &f.rms_line},
        {"rms_column", &f.rms_column},
        {"rms_image", &f.rms_image},
        {"standard_deviation", &f.standard_deviation},
        {"rms_total", &f.rms_total},
        {"average_rms", &f.average_rms},
        {"homogeneity", &f.homogeneity},
        {"homogeneity_report", &f.homogeneity_report},
        {"slope", &f.slope},
        {"r", &f.r},
        {"r_abs", &f.r_abs},
        {"r2", &f.r2},
        {"rms_error", &f.rms_error},
        {"rms_error_sd", &f.rms_error_sd},
    };
    for (const auto& [name, figure] : named)
      d[name] = figure->defined ? py::object(py::float_(figure->value)) : py::object(py::none());
    d["interior_cells"] = f.interior_cells;
    return d;
  }

  // The nearest double to each line's RMS.
  py::array_t<double> line_rms() const {
    py::array_t<double> array(static_cast<py::ssize_t>(figures_.line_rms.size()));
    double* values = array.mutable_data();
    for (size_t i = 0; i < figures_.line_rms.size(); i++)
      values[i] = figures_.line_rms[i].value;
    return array;
  }

  std::string report_text(const std::string& raw_path,
                          const std::optional<uint64_t>& raw_file_bytes) const {
    return report_at(facts_, texts_, raw_path, raw_file_bytes);
  }

  std::string table_text() const { return texts_.table; }

 private:
  ReportFacts facts_;
  exact::ExactFigures figures_;
  FigureTexts texts_;
};

// The lines of a 2-D array where they lie (any strides), as the engine reads them: a line's
// samples side by side. A read fails once `stop` is set, which ends every thread of the engine
// at its next block of lines.
class ArraySource final : public exact::SampleSource {
 public:
  ArraySource(const py::buffer_info& info, const std::atomic<bool>* stop)
      : base_(static_cast<const unsigned char*>(info.ptr)),
        line_stride_(info.strides[0]),
        column_stride_(info.strides[1]),
        width_(info.itemsize),
        columns_(info.shape[1]),
        stop_(stop) {}

  bool read(int64_t first, int64_t count, unsigned char* bytes, std::string& error) const override {
    if (stop_->load()) {
      error = "stopped";
      return false;
    }
    const int64_t line_bytes = columns_ * width_;
    for (int64_t i = 0; i < count; i++) {
      const unsigned char* line = base_ + (first + i) * line_stride_;
      unsigned char* out = bytes + i * line_bytes;
      if (column_stride_ == width_) {
        std::memcpy(out, line, static_cast<size_t>(line_bytes));
        continue;
      }
      for (int64_t j = 0; j < columns_; j++)
        std::memcpy(out + j * width_, line + j * column_stride_, static_cast<size_t>(width_));
    }
    return true;
  }

 private:
  const unsigned char* base_;
  int64_t line_stride_, column_stride_, width_, columns_;
  const std::atomic<bool>* stop_;
};

// Raises MemoryError, with the figures, when the exact figures of `raster` on `threads`
// threads need more memory than this process may use. What the engine holds: each thread a
// block of lines (128 KiB, or one line when longer), three decoded lines (6 bytes a column),
// its columns' sums in lanes and totals (48 bytes a column) and its summary's (32); and for the
// whole raster every line's and column's sums, their spreads as GMP numbers, the rows' texts
// and doubles: 256 bytes a line and a column leaves room.
void check_memory_for_exact(const exact::Raster& raster, int threads) {
  const uint64_t lines = static_cast<uint64_t>(raster.lines);
  const uint64_t columns = static_cast<uint64_t>(raster.columns);
  const uint64_t line_bytes = columns * static_cast<uint64_t>(raster.type);
  const uint64_t per_thread = std::max<uint64_t>(128 * 1024, line_bytes) + columns * (18 + 48 + 32);
  const uint64_t needed = static_cast<uint64_t>(threads) * per_thread + (lines + columns) * 256;
  const uint64_t usable = usable_memory_bytes();
  if (usable == 0 || needed <= usable) return;
  raise(PyExc_MemoryError, "Not enough memory for the exact figures of a raster of " +
                               std::to_string(lines) + " lines and " + std::to_string(columns) +
                               " columns: about " + std::to_string(needed / 1000000 + 1) +
                               " MB needed, " + std::to_string(usable / 1000000) + " MB usable.");
}

// The exact figures of `samples`, a 2-D array of `width`-byte samples in little-endian order
// (the package has checked its type, shape and unit): read once on the engine's threads
// (SCABROSIMETER_THREADS, default the machine's cores) without the GIL, stopped by a Python
// exception that a signal handler raises meanwhile.
ExactAnalysed exact_analyse(const py::array& samples, int width, int unit, bool image) {
  const py::buffer_info info = samples.request();
  if (info.ndim != 2 || info.itemsize != width || info.shape[0] < 1 || info.shape[1] < 1) {
    throw py::value_error("samples: a 2-D array of samples of the given width was expected");
  }
  const exact::Raster raster = raster_of(info.shape[0], info.shape[1], width, unit, image);
  const int threads = exact::threads_from_environment();
  check_memory_for_exact(raster, threads);
  SignalWatch watch;
  const ArraySource source(info, watch.stop());
  exact::Summary summary;
  exact::ExactFigures figures;
  std::string error;
  bool summed = false, certified = false;
  std::exception_ptr failure;
  {
    py::gil_scoped_release unlocked;
    failure = run_watched(
        [&] {
          summed = exact::summarise(source, raster, threads, summary, error);
          certified = summed && exact::exact_figures(summary, true, figures, error);
        },
        watch);
  }
  watch.raise_if_stopped();
  if (failure) std::rethrow_exception(failure);  // std::bad_alloc: a MemoryError
  // The array's reads fail only when stopped: the engine's own failure is a lack of memory.
  if (!summed) raise(PyExc_MemoryError, error);
  if (!certified) raise(PyExc_RuntimeError, error);
  return ExactAnalysed(raster, std::move(figures));
}

// The bytes of the summary of the block [first_line, end_line) x [first_column, end_column) of
// a raster of `lines` x `columns`, from `window`: the block with the line and column around it
// where the raster goes on, a C-ordered array of `width`-byte samples. ValueError for a block
// that is not in the raster, or a window of another shape.
py::bytes chunk_summary(const py::array& window, int width, int unit, bool image, int64_t lines,
                        int64_t columns, int64_t first_line, int64_t end_line, int64_t first_column,
                        int64_t end_column) {
  const exact::Raster raster = raster_of(lines, columns, width, unit, image);
  const exact::Block block{first_line, end_line, first_column, end_column};
  if (first_line < 0 || end_line > lines || first_line >= end_line || first_column < 0 ||
      end_column > columns || first_column >= end_column) {
    raise(PyExc_ValueError, "the block is not inside the raster");
  }
  const py::buffer_info info = window.request();
  const int64_t window_lines = end_line - first_line + (first_line > 0) + (end_line < lines);
  const int64_t window_columns =
      end_column - first_column + (first_column > 0) + (end_column < columns);
  if (info.ndim != 2 || info.itemsize != width || info.shape[0] != window_lines ||
      info.shape[1] != window_columns || info.strides[1] != width ||
      info.strides[0] < window_columns * width) {
    raise(PyExc_ValueError,
          "a chunk's window must be a C-ordered array of its block with the "
          "line and column around it where the raster goes on: " +
              std::to_string(window_lines) + " x " + std::to_string(window_columns) +
              " samples here");
  }
  std::vector<unsigned char> bytes;
  {
    py::gil_scoped_release unlocked;
    bytes = exact::serialize(exact::summarise_block(
        raster, block, static_cast<const unsigned char*>(info.ptr), info.strides[0]));
  }
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The summary that `bytes` hold; ValueError, with the engine's message, for bytes that are no
// summary.
exact::Summary parsed(const std::string& bytes) {
  exact::Summary summary;
  std::string error;
  if (!exact::parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), summary,
                    error)) {
    raise(PyExc_ValueError, "not a summary: " + error);
  }
  return summary;
}

// The summaries' merge, as bytes; ValueError, with the engine's message, for summaries that do
// not fit together (other rasters, overlapping blocks) or bytes that are no summary.
py::bytes merge_summaries(const std::vector<std::string>& parts) {
  if (parts.empty()) raise(PyExc_ValueError, "no summary to merge");
  exact::Summary whole = parsed(parts[0]);
  std::string error;
  for (size_t k = 1; k < parts.size(); k++) {
    if (!exact::merge(whole, parsed(parts[k]), error))
      raise(PyExc_ValueError, "summaries that cannot be merged: " + error);
  }
  const std::vector<unsigned char> bytes = exact::serialize(whole);
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The exact figures of the raster whose whole summary `bytes` hold; ValueError, with the
// engine's message, for a summary that does not cover the raster or is no raster's.
ExactAnalysed exact_result(const std::string& bytes) {
  const exact::Summary summary = parsed(bytes);
  exact::ExactFigures figures;
  std::string error;
  bool certified;
  {
    py::gil_scoped_release unlocked;
    certified = exact::exact_figures(summary, true, figures, error);
  }
  if (!certified) raise(PyExc_ValueError, "no figures from this summary: " + error);
  return ExactAnalysed(summary.raster, std::move(figures));
}

}  // namespace

void add_exact_functions(py::module_& module) {
  py::class_<ExactAnalysed>(module, "ExactAnalysed")
      .def("figures", &ExactAnalysed::figures)
      .def("line_rms", &ExactAnalysed::line_rms)
      .def("report_text", &ExactAnalysed::report_text, py::arg("raw_path"),
           py::arg("raw_file_bytes") = py::none())
      .def("table_text", &ExactAnalysed::table_text);
  module.def("exact_analyse", &exact_analyse, py::arg("samples"), py::arg("width"), py::arg("unit"),
             py::arg("image"));
  module.def("chunk_summary", &chunk_summary, py::arg("window"), py::arg("width"), py::arg("unit"),
             py::arg("image"), py::arg("lines"), py::arg("columns"), py::arg("first_line"),
             py::arg("end_line"), py::arg("first_column"), py::arg("end_column"));
  module.def("merge_summaries", &merge_summaries, py::arg("parts"));
  module.def("exact_result", &exact_result, py::arg("bytes"));
}

}  // namespace scab
