#include "run/run.h"

#include <sys/stat.h>

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
    fputs("\n\n\ttreatment finished\n\tto exit press any key ", run.con.out);
    fflush(run.con.out);
    run.con.getch();
    return 0;
  } catch (const RunStop& stop) {
    return stop.status;
  }
}

}  // namespace scab
