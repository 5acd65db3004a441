// The run state: everything one run of the program holds, from the dialog to the last result.
// `main` creates one run object and hands it to the four phases in turn.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "raster/heights.h"
#include "raster/input_file.h"
#include "run/console.h"
#include "run/pending_file.h"

namespace scab {

struct Run {
  Run(Console console, std::string images_root);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Console con;
  std::string images_root;  // the host folder that stands for the root c:\images
  // Seconds of analysis after which a terminal shows a progress line.
  double progress_after = 2;

  InputFile raw_file;  // the raw raster file, open from `opening` until `lecture` takes it
  // The report and the table, written to temporary files until the end of the treatment puts
  // them in place; f2d and f3d are their streams.
  std::unique_ptr<PendingFile> report_file;
  std::unique_ptr<PendingFile> table_file;
  FILE* f2d = nullptr;
  FILE* f3d = nullptr;

  std::string raw_path;     // the raw raster file, in Windows form
  std::string report_path;  // the report file, in Windows form
  std::string table_path;   // the table file, in Windows form

  int nb_lig = 0;
  int nb_col = 0;
  int taille_pix = 0;
  int image_type = 0;   // 0 DEM, 1 8-bit image
  int itype = 0;        // DEM sample width: 0 16 bits, anything else 32 bits
  int hypso_scale = 0;  // 0 metres, 1 decimetres, 2 centimetres, 3 millimetres
  int treat_type = 0;   // 0 RMS roughness, 2 RMS error
  int scan_type = 0;    // 3 line, column and image scanning, 2 image scanning

  // The raster: its samples, read from the raw file as heights in metres (or grey levels)
  // once the unit is known.
  std::unique_ptr<RawRaster> dtab;
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

// Asks a numeric question until `accept` takes the answer. `ask` prints the question; it is
// printed again after every rejected answer. Text that is not a number is discarded up to the
// end of its line.
template <typename Ask, typename Accept>
int ask_int(Run& run, Ask ask, Accept accept) {
  for (;;) {
    ask();
    int answer = 0;
    switch (read_int(run.con.in, answer)) {
      case ReadStatus::end_of_input:
        stop_at_end_of_input(run);
      case ReadStatus::not_a_number:
        discard_line(run.con.in);
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

// The phases, in the order `main` runs them.
void opening(Run& run);
void lecture(Run& run);
void parameters(Run& run);
void treatment(Run& run);

// Puts the report and the table in place at the end of the treatment, both or neither. When
// either was not written in full, says which and why, and ends the run with exit status 1.
void close_results(Run& run);

// Runs the four phases, closes the results and waits for the closing key; returns the exit
// status.
int run_program(Run& run);

}  // namespace scab
