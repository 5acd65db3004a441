// One run of the program, from the dialog to the last result: what the operator answered, the
// dataset's files, the result files being written and the raster. `main` creates one run and
// hands it to the phases in turn (run_program).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "dataset/input_file.h"
#include "dataset/pending_file.h"
#include "raster/raw_raster.h"
#include "report/report.h"
#include "run/console.h"

namespace scab {

// What the operator answered.
struct Answers {
  bool image = false;           // the data type: a DEM (0) or an 8-bit image (1)
  int sample_width_answer = 0;  // a DEM's: 0 is 16 bits, anything else 32 bits
  std::string raster_name;      // as typed, without suffix
  std::string result_name;      // the base name of the report and the table
  int unit = 0;                 // a DEM's heights: 0 metres, 1 dm, 2 cm, 3 mm
};

// The dataset's files, in Windows form, and what its descriptor gives.
struct Dataset {
  std::string folder_path;  // c:\images\FOLDER\ .
  std::string raw_path;
  std::string descriptor_path;
  int lines = 0;
  int columns = 0;
  int pixel_size = 0;
};

// The report and the table: temporary files, written whole at the end of the analysis and then
// put in place (dataset/pending_file.h).
struct Results {
  std::string report_path;  // Windows form
  std::string table_path;
  std::unique_ptr<PendingFile> report;
  std::unique_ptr<PendingFile> table;

  bool begun() const { return report != nullptr; }
};

// What the first reading of the raw raster found: what the report says of the raster before
// its figures.
struct Reading {
  uint64_t bytes_found = 0;      // the bytes of the raster that the file holds
  uint64_t bytes_expected = 0;   // lines x columns x bytes a sample
  int minimum = 0, maximum = 0;  // the samples' range
};

struct Run {
  Run(Console console, std::string images_root);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Console console;
  std::string images_root;    // the host folder that stands for the root c:\images
  double progress_after = 2;  // seconds of analysis after which a terminal shows its progress

  // The figures: the arithmetic model's, or (--figures exact) the exact engine's, whose run
  // reads the raster once (analyse_exactly).
  bool exact_figures = false;

  Answers answers;
  Dataset dataset;
  Results results;
  InputFile raw_file;  // the raw raster, open from the dialog until it is loaded
  Reading reading;     // what its first reading found
  std::unique_ptr<RawRaster>
      raster;  // the model's: its samples, read as heights once the unit is known
};

// Thrown by a phase to end the run early; `status` is the process's exit status.
struct RunStop {
  int status;
};

// Ends the run: prints `message` on the console (and, once the result files are begun, that
// the earlier results are unchanged), waits for one key, exit status `status`.
[[noreturn]] void stop_run(Run& run, int status, const std::string& message);

// Ends the run when the input ends while a question waits for its answer.
[[noreturn]] void stop_at_end_of_input(Run& run);

// Ends the run when reading the raw raster failed (rather than ended): `error` is the system's.
[[noreturn]] void stop_for_read_error(Run& run, int error);

// Ends the run when the raw raster changed since its first reading.
[[noreturn]] void stop_for_changed_file(Run& run);

// Ends the run when the raster needs `needed` bytes, more memory than the run may use.
[[noreturn]] void stop_for_memory(Run& run, uint64_t needed);

// Ends the run when memory for the analysis ran out on the way.
[[noreturn]] void stop_for_analysis_memory(Run& run);

// What the report says of the loaded raster: its path, its size against the expected one, its
// range, (once it is asked) its height unit, and whether its figures are exact.
ReportFacts report_facts(const Run& run);

// Asks a numeric question until `accept` takes the answer. `ask` prints the question; it is
// printed again after every rejected answer. Text that is not a number is discarded up to the
// end of its line.
template <typename Ask, typename Accept>
int ask_int(Run& run, Ask ask, Accept accept) {
  for (;;) {
    ask();
    int answer = 0;
    switch (read_int(run.console.in, answer)) {
      case ReadStatus::end_of_input:
        stop_at_end_of_input(run);
      case ReadStatus::not_a_number:
        discard_line(run.console.in);
        continue;
      case ReadStatus::ok:
        if (accept(answer)) return answer;
    }
  }
}

// Asks for one word.
std::string ask_word(Run& run, const char* prompt);

// The host path of a dataset file given in Windows form.
std::string host_path_of(const Run& run, const std::string& windows_path);

// The phases, in the order run_program runs them:
//   the dialog that names the dataset, reads or creates its descriptor and begins the results;
void open_dataset(Run& run);
//   the first reading of the raw raster (its size and the range of its samples);
void load_raster(Run& run);
//   the value range, and the height unit of a DEM;
void prepare_heights(Run& run);
//   the two passes, their results written to the console, then the report and the table;
void analyse(Run& run);
// (which ends by writing the results: on the console, after the line that says they are exact
// for exact figures, and the report and the table, each written whole)
void write_results(Run& run, const FigureTexts& texts);
// or, for exact figures, in place of these three (run/exact_mode.cpp, where the exact engine is
// built): the one reading of the raster (its size, its range and every sum), the value range
// and the height unit, then the figures certified and written as analyse() writes them;
void analyse_exactly(Run& run);
//   the report and the table put in place, both or neither (a stop, status 1, when either was
//   not written in full).
void close_results(Run& run);

// Runs the phases, then waits for the closing key; returns the exit status.
int run_program(Run& run);

}  // namespace scab
