// scabrosimeter._core: the program's passes over a numpy array of samples, read in place, and
// the reading of a dataset's files. The package (scabrosimeter/__init__.py) checks what the
// user gives and wraps the results.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/measures.h"
#include "analysis/passes.h"
#include "dataset/descriptor.h"
#include "dataset/input_file.h"
#include "dataset/paths.h"
#include "dataset/raw_layout.h"
#include "dataset/units.h"
#include "raster/memory.h"
#include "raster/sample_array.h"
#include "report/texts.h"
#include "report_facts.h"
#include "signal_watch.h"
#ifdef SCABROSIMETER_MAPS
#include "map_module.h"
#endif
#ifdef SCABROSIMETER_HAS_EXACT
#include "exact_module.h"
#endif

namespace py = pybind11;

namespace scab {
namespace {

// A figure as Python sees it: None where the program prints "undefined".
py::object figure(const Value& value) {
  if (!value || !std::isfinite(*value)) return py::none();
  return py::float_(*value);
}

// The passes' results over one raster, and what the report says of the raster.
class Analysed {
 public:
  Analysed(bool image, int unit, int minimum, int maximum, uint64_t bytes, Analysis analysis)
      : image_(image),
        unit_(unit),
        minimum_(minimum),
        maximum_(maximum),
        bytes_(bytes),
        analysis_(std::move(analysis)) {}

  py::dict figures() const {
    const ProfileResult& p = analysis_.profile;
    const RmsErrorResult& e = analysis_.rms_error;
    py::dict d;
    d["minimum"] = minimum_;
    d["maximum"] = maximum_;
    d["rms_line"] = figure(p.rms_line);
    d["rms_column"] = figure(p.rms_column);
    d["rms_image"] = figure(p.rms_image);
    d["standard_deviation"] = figure(p.standard_deviation);
    d["rms_total"] = figure(p.rms_total);
    d["average_rms"] = figure(p.average_rms);
    d["homogeneity"] = figure(p.homogeneity);
    d["homogeneity_report"] = figure(homogeneity_for_report(p));
    d["slope"] = figure(e.slope);
    d["r"] = figure(e.r);
    d["r_abs"] = figure(e.r_magnitude);
    d["r2"] = figure(e.r_squared);
    d["rms_error"] = figure(e.rms_error);
    d["rms_error_sd"] = figure(e.standard_deviation);
    d["interior_cells"] = e.interior_cells;
    return d;
  }

  py::array_t<double> line_rms() const {
    const std::vector<double>& rms = analysis_.profile.line_rms;
    py::array_t<double> array(static_cast<py::ssize_t>(rms.size()));
    std::copy(rms.begin(), rms.end(), array.mutable_data());
    return array;
  }

  // The report file's bytes, as the program writes them for this raster at `raw_path`, whose
  // file holds `raw_file_bytes` (when fewer than the samples', the report warns of it).
  std::string report_text(const std::string& raw_path,
                          const std::optional<uint64_t>& raw_file_bytes) const {
    ReportFacts facts;
    facts.raw_bytes_expected = bytes_;
    facts.image = image_;
    facts.minimum = minimum_;
    facts.maximum = maximum_;
    facts.unit = unit_;
    return report_at(facts, texts_of(analysis_), raw_path, raw_file_bytes);
  }

  // The table file's bytes.
  std::string table_text() const { return texts_of(analysis_).table; }

 private:
  bool image_;
  int unit_;
  int minimum_, maximum_;
  uint64_t bytes_;  // the samples' bytes
  Analysis analysis_;
};

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// MB in the program's manner: `bytes` needed rounded up, usable rounded down.
std::string needed_mb(uint64_t bytes) {
  return std::to_string(bytes / 1000000 + 1);
}
std::string usable_mb(uint64_t bytes) {
  return std::to_string(bytes / 1000000);
}

// Raises MemoryError, with the program's figures, when the analysis of a raster of `lines` x
// `columns` samples of `width` bytes needs more memory than this process may use, rather than
// let the system kill the process on the way.
void check_memory_for_analysis(int lines, int columns, int width) {
  // The program's estimate, and what the module holds beyond it: the line RMS handed to Python
  // (a copy, one double a line). The array is the caller's and held already. The lines that the
  // passes gather (samples not side by side) and the first reading's piece of 16 KiB stand in
  // for the program's three blocks of the file, each at least a line and at least 32 KiB.
  const uint64_t needed =
      bytes_needed(lines, columns, width) + static_cast<uint64_t>(lines) * sizeof(double);
  const uint64_t usable = usable_memory_bytes();
  if (usable == 0 || needed <= usable) return;
  raise(PyExc_MemoryError, "Not enough memory for the analysis of a raster of " +
                               std::to_string(lines) + " lines and " + std::to_string(columns) +
                               " columns: about " + needed_mb(needed) + " MB needed, " +
                               usable_mb(usable) + " MB usable.");
}

// The passes over `samples`, a 2-D array of `width`-byte samples in little-endian order (the
// package has checked its type, shape and unit), read where they lie: all the reading without
// the GIL, the first reading included, and stopped by a Python exception that a signal handler
// raises meanwhile.
Analysed analyse(const py::array& samples, int width, int unit, bool image) {
  const py::buffer_info info = samples.request();
  if (info.ndim != 2 || info.itemsize != width || info.shape[0] < 1 || info.shape[1] < 1 ||
      info.shape[0] > INT32_MAX || info.shape[1] > INT32_MAX) {
    throw py::value_error("samples: a 2-D array of samples of the given width was expected");
  }
  const int lines = static_cast<int>(info.shape[0]), columns = static_cast<int>(info.shape[1]);
  check_memory_for_analysis(lines, columns, width);
  SignalWatch watch;
  const auto waiting = [&watch] { watch(); };
  std::optional<Analysed> analysed;
  bool out_of_memory = false;
  try {
    py::gil_scoped_release unlocked;
    SampleArray array(static_cast<const unsigned char*>(info.ptr), lines, columns, width,
                      info.strides[0], info.strides[1], watch.stop(), waiting);
    if (!image) array.set_factor(metres_per_unit(unit));
    analysed.emplace(image, unit, array.minimum(), array.maximum(),
                     raw_bytes_expected(lines, columns, width), run_passes(array, waiting));
  } catch (const ReadingStopped&) {
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  }
  watch.raise_if_stopped();
  if (out_of_memory) {
    raise(PyExc_MemoryError, "Not enough memory for the analysis of a raster of " +
                                 std::to_string(lines) + " lines and " + std::to_string(columns) +
                                 " columns.");
  }
  assert(analysed);
  return std::move(*analysed);
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A dataset file open for reading, or the Python error that says why not.
InputFile open_dataset_file(const std::string& what, const std::string& path) {
  InputFile file(path);
  if (file.is_open()) return file;
  if (file.kind() != FileKind::missing && file.kind() != FileKind::open_failed) {
    raise(PyExc_OSError, "The " + what + " " + path + " is " + describe(file.kind()) +
                             ", not a file that can be read");
  }
  if (file.error() != 0 && file.error() != ENOENT) {
    errno = file.error();
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
  }
  raise(PyExc_FileNotFoundError, "No " + what + " " + path);
}

// The six numbers of a descriptor file (lines, columns, bytes per sample, minimum, maximum,
// pixel size), read as the program reads them; ValueError when the first two are no raster's.
std::array<int, 6> read_numbers(const std::string& descriptor_path) {
  const DescriptorReading reading =
      read_descriptor_file(open_dataset_file("descriptor file", descriptor_path));
  if (const int error = reading.open_error != 0 ? reading.open_error : reading.read_error) {
    errno = error;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, descriptor_path.c_str());
    throw py::error_already_set();
  }
  if (!gives_a_raster(reading.numbers))
    raise(PyExc_ValueError, descriptor_refusal(descriptor_path, reading));
  const DescriptorNumbers& n = reading.numbers;
  return {n.lines, n.columns, n.bytes_per_sample, n.minimum, n.maximum, n.pixel_size};
}

// Raises MemoryError, with the figures, when an array of `lines` x `columns` samples of `width`
// bytes is beyond the memory this process may use. The array is filled whole, zeros of a short
// file included: it might be granted, then the process killed while filling it.
void check_memory_for_reading(const std::string& raw_path, int lines, int columns, int width) {
  const uint64_t needed = raw_bytes_expected(lines, columns, width);
  const uint64_t usable = usable_memory_bytes();
  if (usable == 0 || needed <= usable) return;
  raise(PyExc_MemoryError, "Not enough memory to read the raster " + raw_path + " of " +
                               std::to_string(lines) + " lines and " + std::to_string(columns) +
                               " columns: about " + needed_mb(needed) + " MB needed, " +
                               usable_mb(usable) + " MB usable.");
}

// The samples of a raw raster file, `lines` x `columns` of `width` bytes: a short file read as
// far as it goes (the rest zeros, and a warning), a long one cut to size.
py::array read_samples(const std::string& raw_path, int lines, int columns, int width) {
  const InputFile raw = open_dataset_file("raw raster", raw_path);
  check_memory_for_reading(raw_path, lines, columns, width);
  const char* format = width == 1 ? "u1" : width == 2 ? "<u2" : "<i4";
  py::array samples(py::dtype(format),
                    {static_cast<py::ssize_t>(lines), static_cast<py::ssize_t>(columns)});
  auto* bytes = static_cast<unsigned char*>(samples.mutable_data());
  const uint64_t expected = raw_bytes_expected(lines, columns, width);
  uint64_t got = 0;
  int error = 0;
  {
    py::gil_scoped_release unlocked;
    while (got < expected && error == 0) {
      const uint64_t chunk = std::min<uint64_t>(expected - got, uint64_t{1} << 26);
      const int64_t read = raw.read_at(bytes + got, static_cast<size_t>(chunk), got);
      if (read == 0) break;
      if (read < 0) error = errno != 0 ? errno : EIO;  // a failed read, not an end
      if (read > 0) got += static_cast<uint64_t>(read);
    }
  }
  if (error != 0) {
    errno = error;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, raw_path.c_str());
    throw py::error_already_set();
  }
  if (got < expected) {
    std::memset(bytes + got, 0, static_cast<size_t>(expected - got));
    std::string warning = short_file_warning(raw_path, got, expected);
    warning[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(warning[0])));
    if (PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 1) != 0) throw py::error_already_set();
  }
  return samples;
}

// A dataset's samples and its descriptor's six numbers, read with the program's rules; the
// sample width comes from the name (_m2: 16 bits, _m4: 32 bits, otherwise an 8-bit image).
py::tuple read_dataset(const std::string& path) {
  // The system would read the path only up to the NUL, another file's.
  if (path.find('\0') != std::string::npos)
    raise(PyExc_ValueError, "embedded null character in path");
  if (!ends_with(path, ".raw") && !ends_with(path, ".txt")) {
    raise(PyExc_ValueError,
          "Give the path of a raw raster (.raw) or of its descriptor (.txt), not " + path);
  }
  const std::string stem = path.substr(0, path.size() - 4);
  const int width = sample_bytes_named(stem);
  const std::array<int, 6> numbers = read_numbers(stem + ".txt");
  const py::array samples = read_samples(stem + ".raw", numbers[0], numbers[1], width);
  return py::make_tuple(samples, py::make_tuple(numbers[0], numbers[1], numbers[2], numbers[3],
                                                numbers[4], numbers[5]));
}

}  // namespace
}  // namespace scab

PYBIND11_MODULE(_core, module) {
  module.doc() = "scabrosimeter's passes over numpy arrays (use the scabrosimeter package)";
  module.attr("version") = SCABROSIMETER_VERSION;
  py::list unit_symbols;  // a DEM's height units, in the dialog's order
  for (int unit = 0; unit < scab::kUnitCount; unit++)
    unit_symbols.append(scab::unit_symbol(unit));
  module.attr("unit_symbols") = py::tuple(unit_symbols);
  py::class_<scab::Analysed>(module, "Analysed")
      .def("figures", &scab::Analysed::figures)
      .def("line_rms", &scab::Analysed::line_rms)
      .def("report_text", &scab::Analysed::report_text, py::arg("raw_path"),
           py::arg("raw_file_bytes") = py::none())
      .def("table_text", &scab::Analysed::table_text);
  module.def("analyse", &scab::analyse, py::arg("samples"), py::arg("width"), py::arg("unit"),
             py::arg("image"));
  module.def("read_dataset", &scab::read_dataset, py::arg("path"));
#ifdef SCABROSIMETER_MAPS
  scab::add_map_functions(module);
#endif
#ifdef SCABROSIMETER_HAS_EXACT
  scab::add_exact_functions(module);
  module.attr("has_exact") = true;
#else
  module.attr("has_exact") = false;
#endif
}
