#include "run/run.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "run/paths.h"

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

void close_results(Run& run) {
  Results& results = run.results;
  if (!results.begun()) return;
  const std::vector<int> errors = commit_together({results.report.get(), results.table.get()});
  std::string message;
  const auto describe_failure = [&message](int error, const char* what, const std::string& path) {
    if (error == 0 || error == ECANCELED) return;  // ECANCELED: not renamed after another failed
    message += std::string("\n\n\tThe ") + what + " file " + path +
               " could not be written in full: " + std::strerror(error) + ".";
  };
  describe_failure(errors[0], "report", results.report_path);
  describe_failure(errors[1], "table", results.table_path);
  if (!message.empty()) {
    stop_run(
        run, 1,
        message + "\n\tMake room on the device or check the folder, then run the program again.\n");
  }
  results.report.reset();
  results.table.reset();
}

int run_program(Run& run) {
  try {
    open_dataset(run);
    load_raster(run);
    prepare_heights(run);
    analyse(run);
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
