#include "run/run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "run/paths.h"

namespace scab {

Run::Run(Console console, std::string root)
    : con(std::move(console)), images_root(std::move(root)) {}

Run::~Run() {
  for (FILE* file : {f1, f1d, f2d, f3d}) {
    if (file) fclose(file);
  }
}

void stop_run(Run& run, int status, const std::string& message) {
  fputs(message.c_str(), run.con.out);
  fflush(run.con.out);
  run.con.getch();
  throw RunStop{status};
}

void stop_at_end_of_input(Run& run) {
  fputs("\n\n\tThe input ended before the dialog was complete: nothing more can be read.\n",
        run.con.out);
  fflush(run.con.out);
  throw RunStop{1};
}

std::string ask_word(Run& run, const char* prompt) {
  fputs(prompt, run.con.out);
  std::string word;
  if (read_word(run.con.in, word) == ReadStatus::end_of_input) stop_at_end_of_input(run);
  return word;
}

int close_checked(FILE* file) {
  // The error indicator is sticky: a write that failed at any time since the file was opened
  // shows here. What the buffer still holds is written now, and may fail afresh.
  const bool failed_before = ferror(file) != 0;
  const int error_before = errno;
  errno = 0;
  const bool flushed = fflush(file) == 0;
  int error = flushed ? 0 : errno;
  errno = 0;
  const bool closed = fclose(file) == 0;
  if (!closed && error == 0) error = errno;
  if (failed_before && error == 0) error = error_before;
  if ((failed_before || !flushed || !closed) && error == 0) error = EIO;
  return error;
}

void close_results(Run& run) {
  std::string message;
  const auto close_one = [&message](FILE*& file, const char* what, const std::string& path) {
    if (!file) return;
    const int error = close_checked(file);
    file = nullptr;
    if (error != 0) {
      message += std::string("\n\n\tThe ") + what + " file " + path +
                 " is incomplete: " + std::strerror(error) + ".";
    }
  };
  close_one(run.f2d, "report", run.report_path);
  close_one(run.f3d, "table", run.table_path);
  if (!message.empty()) {
    stop_run(
        run, 1,
        message + "\n\tMake room on the device or check the folder, then run the program again.\n");
  }
}

FILE* open_dataset_file(const Run& run, const std::string& windows_path, const char* mode) {
  FILE* file = fopen(host_path(run.images_root, windows_path).c_str(), mode);
  // Some systems open a folder for reading; a folder is never a dataset file.
  struct stat status;
  if (file && fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
    fclose(file);
    return nullptr;
  }
  return file;
}

int run_program(Run& run) {
  try {
    opening(run);
    lecture(run);
    parameters(run);
    treatment(run);
    close_results(run);
    fputs("\n\n\ttreatment finished\n\tto exit press any key ", run.con.out);
    fflush(run.con.out);
    run.con.getch();
    return 0;
  } catch (const RunStop& stop) {
    return stop.status;
  }
}

}  // namespace scab
