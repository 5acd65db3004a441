#include "run/run.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "dataset/paths.h"
#include "dataset/pending_file.h"

namespace scab {
namespace {

std::string file_name_of(const std::string& windows_path) {
  return windows_path.substr(windows_path.find_last_of('\\') + 1);
}

// What a stop says of the result files once they are begun: they are only put in place at the
// end, so the earlier ones stand.
std::string earlier_results_note(const Run& run) {
  if (!run.results.begun()) return "";
  return "\tAny earlier results in " + run.results.report_path + " and " +
         file_name_of(run.results.table_path) + " are unchanged.\n";
}

}  // namespace

Run::Run(Console console_, std::string root)
    : console(std::move(console_)), images_root(std::move(root)) {}

void stop_run(Run& run, int status, const std::string& message) {
  fputs(message.c_str(), run.console.out);
  fputs(earlier_results_note(run).c_str(), run.console.out);
  fflush(run.console.out);
  run.console.getch();
  throw RunStop{status};
}

void stop_at_end_of_input(Run& run) {
  fputs("\n\n\tThe input ended before the dialog was complete: nothing more can be read.\n",
        run.console.out);
  fputs(earlier_results_note(run).c_str(), run.console.out);
  fflush(run.console.out);
  throw RunStop{1};
}

std::string ask_word(Run& run, const char* prompt) {
  fputs(prompt, run.console.out);
  std::string word;
  if (read_word(run.console.in, word) == ReadStatus::end_of_input) stop_at_end_of_input(run);
  return word;
}

std::string host_path_of(const Run& run, const std::string& windows_path) {
  return host_path(run.images_root, windows_path);
}

namespace {

// The stop for result files that could not be written in full: neither was put in place.
[[noreturn]] void stop_for_incomplete_results(Run& run, int report_error, int table_error) {
  const Results& results = run.results;
  std::string message;
  const auto describe_failure = [&message](int error, const char* what, const std::string& path) {
    if (error == 0) return;
    message += std::string("\n\n\tThe ") + what + " file " + path +
               " could not be written in full: " + std::strerror(error) + ".";
  };
  describe_failure(report_error, "report", results.report_path);
  describe_failure(table_error, "table", results.table_path);
  stop_run(
      run, 1,
      message + "\n\tMake room on the device or check the folder, then run the program again.\n");
}

// The stop for result files complete but not put in place together: a rename failed
// (`errors` as commit_together gives them). Either both earlier files stand, or the one that
// could not be put back is named with what each file now holds.
[[noreturn]] void stop_for_results_not_in_place(Run& run, const std::vector<int>& errors) {
  Results& results = run.results;
  const PendingFile* files[2] = {results.report.get(), results.table.get()};
  const char* whats[2] = {"report", "table"};
  const std::string paths[2] = {results.report_path, results.table_path};
  const size_t failed = errors[0] != 0 && errors[0] != ECANCELED ? 0 : 1;
  std::string message = std::string("\n\n\tThe ") + whats[failed] + " file " + paths[failed] +
                        " could not be renamed into place: " + std::strerror(errors[failed]) + ".";
  const size_t other = 1 - failed;
  if (!files[other]->replaced()) {
    stop_run(run, 1,
             message +
                 "\n\tCheck what stands at that name in the folder (a folder, a file that "
                 "may not be replaced), then run the program again.\n");
  }
  message += std::string("\n\tThe ") + whats[other] + " file " + paths[other] +
             " could not be put back as it was: it holds the results of this run, and " +
             file_name_of(paths[failed]) +
             " those of the earlier one.\n\tRun the program again once the folder is in order.\n";
  results.report.reset();  // neither is unchanged: the stop says no more of them
  results.table.reset();
  stop_run(run, 1, message);
}

}  // namespace

void close_results(Run& run) {
  Results& results = run.results;
  if (!results.begun()) return;
  // Every write is checked before anything is renamed.
  const int report_error = results.report->finish();
  const int table_error = results.table->finish();
  if (report_error != 0 || table_error != 0)
    stop_for_incomplete_results(run, report_error, table_error);
  const std::vector<int> errors = commit_together({results.report.get(), results.table.get()});
  if (errors[0] != 0 || errors[1] != 0) stop_for_results_not_in_place(run, errors);
  results.report.reset();
  results.table.reset();
}

#if !SCABROSIMETER_HAS_EXACT
// Without the exact engine, exact figures cannot be had (the command line refuses to ask).
void analyse_exactly(Run& run) {
  stop_run(run, 1,
           "\n\n\tExact figures cannot be had: this build has no exact engine.\n\tRun the "
           "program without --figures exact for the model's figures.\n");
}
#endif

int run_program(Run& run) {
  try {
    open_dataset(run);
    if (run.exact_figures) {
      analyse_exactly(run);
    } else {
      load_raster(run);
      prepare_heights(run);
      analyse(run);
    }
    close_results(run);
    fputs("\n\n\ttreatment finished\n\tto exit press any key ", run.console.out);
    fflush(run.console.out);
    run.console.getch();
    return 0;
  } catch (const RunStop& stop) {
    return stop.status;
  } catch (const std::bad_alloc&) {
    // Memory ran out where no phase expected it (the dialog's own few bytes, say).
    try {
      stop_run(run, 1,
               "\n\n\tNot enough memory to go on.\n\tFree some memory, then run the program "
               "again.\n");
    } catch (const RunStop& stop) {
      return stop.status;
    }
  }
}

}  // namespace scab
