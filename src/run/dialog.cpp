// The dataset dialog: banner, folder, data type, raster name, descriptor file, size report,
// result name and result files; the first phase of a run.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "dataset/descriptor.h"
#include "dataset/paths.h"
#include "dataset/raw_layout.h"
#include "run/run.h"

namespace scab {
namespace {

void print_banner(FILE* out) {
  fputs("\n\n\t**************************************************************", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                       Scabrosimeter                        *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                       Surface roughness of DEMs and images *", out);
  fputs("\n\t*                                           December 2026    *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t*                                                            *", out);
  fputs("\n\t**************************************************************", out);
  fputs("\n\n\n\tThe same treatment can be applied to any morphometric variable\n", out);
}

// Asks for a folder or file name until the answer is one plain name (see is_plain_name): a name
// that could reach outside the dataset's folder is refused and the question asked again.
std::string ask_name(Run& run, const char* prompt) {
  for (;;) {
    const std::string name = ask_word(run, prompt);
    if (is_plain_name(name)) return name;
    fputs("\n\n\tThis name cannot be used: ", run.console.out);
    fwrite(name.data(), 1, name.size(), run.console.out);
    fputs(
        "\n\tA folder or file name may not hold \\, / or : (nor a control character), and may "
        "not be . or .. alone; type another one.\n",
        run.console.out);
  }
}

// A stop for a file that could not be created: what it is, where, and the system's reason.
[[noreturn]] void stop_for_creation(Run& run, const char* what, const std::string& path, int error,
                                    const char* advice) {
  stop_run(run, 1,
           std::string("\n\n\tThe ") + what + " " + path +
               " could not be created: " + std::strerror(error) + ".\n\t" + advice + "\n");
}

// A stop for a dataset file that is something else than a file: a folder, a named pipe, ...
[[noreturn]] void stop_for_file_kind(Run& run, const char* what, const std::string& path,
                                     FileKind kind) {
  stop_run(run, 1,
           std::string("\n\n\tThe ") + what + " " + path + " is " + describe(kind) +
               ", not a file that can be read.\n\tPut the dataset's file there, then run the "
               "program again.\n");
}

// A stop for a dataset file that is there but could not be opened (it may not be read, too
// many files are open, ...): the system's reason. Nothing has been written yet.
[[noreturn]] void stop_for_open_failure(Run& run, const char* what, const std::string& path,
                                        int error) {
  stop_run(run, 1,
           std::string("\n\n\tThe ") + what + " " + path +
               " could not be opened: " + std::strerror(error) +
               ".\n\tCheck that the program may read it (its permissions, the limit on open "
               "files), then run the program again.\n");
}

// The folder, the data type and the raster name (and a DEM's sample width, not validated: 0
// is 16 bits, anything else 32 bits); the paths of the raster's files.
void ask_dataset(Run& run) {
  FILE* out = run.console.out;
  Answers& answers = run.answers;
  Dataset& dataset = run.dataset;
  dataset.folder_path = dataset_folder_path(
      ask_name(run, "\n\n\tName of the File Folder located in the Directory C:\\images ? "));
  const int data_type = ask_int(
      run,
      [out] {
        fputs("\n\n\tType of data :", out);
        fputs("\n\t\t0 ====> Digital Elevation Model [DEM]", out);
        fputs("\n\t\t1 ====> 8 bits Image\n\t\t", out);
      },
      [](int answer) { return answer == 0 || answer == 1; });
  answers.image = data_type == 1;
  if (!answers.image) {
    answers.raster_name =
        ask_name(run, "\n\n\tName of DEM File (without any extension _m2.raw or _m4.raw) ? ");
    answers.sample_width_answer = ask_int(
        run,
        [out] { fputs("\n\ttype of DEM :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t", out); },
        [](int) { return true; });
  } else {
    answers.raster_name = ask_name(run, "\n\n\tName of 8 bits image (without any extension) ? ");
  }
  const DatasetPaths paths = dataset_paths(dataset.folder_path, answers.raster_name, answers.image,
                                           answers.sample_width_answer);
  dataset.raw_path = paths.raw;
  dataset.descriptor_path = paths.descriptor;
}

// The raw raster: without it there is nothing to do.
void open_raw_raster(Run& run) {
  const std::string& path = run.dataset.raw_path;
  run.raw_file = InputFile(host_path_of(run, path));
  if (run.raw_file.kind() == FileKind::missing) {
    fprintf(run.console.out, "\n\n\tNo File %s\n", path.c_str());
    run.console.getch();
    throw RunStop{0};
  }
  if (run.raw_file.kind() == FileKind::open_failed)
    stop_for_open_failure(run, "raw raster", path, run.raw_file.error());
  if (!run.raw_file.is_open()) stop_for_file_kind(run, "raw raster", path, run.raw_file.kind());
}

// Writes a descriptor file that was missing, from the operator's answers.
void create_descriptor(Run& run) {
  const Dataset& dataset = run.dataset;
  const char* advice =
      "Check that the folder exists and can be written to, then run the program again.";
  int error = 0;
  const std::unique_ptr<PendingFile> descriptor =
      PendingFile::create(host_path_of(run, dataset.descriptor_path), true, error);
  if (!descriptor) {
    stop_for_creation(run, "descriptor file", dataset.descriptor_path, error, advice);
  }
  const Answers& answers = run.answers;
  write_descriptor(descriptor->stream(), dataset.lines, dataset.columns,
                   descriptor_bytes_per_sample(answers.image, answers.sample_width_answer),
                   dataset.pixel_size);
  // A descriptor that appeared meanwhile (another run's, say) is never replaced.
  error = descriptor->finish();
  if (error == 0) error = descriptor->commit_new();
  if (error != 0) {
    // A descriptor cut short would give wrong dimensions to the next run: none is written.
    stop_run(run, 1,
             "\n\n\tThe descriptor file " + dataset.descriptor_path +
                 " could not be written: " + std::strerror(error) +
                 ".\n\tNothing was written. Make room on the device or check the folder, then run "
                 "the program again.\n");
  }
}

// Reads the numbers of an open descriptor file.
DescriptorReading read_descriptor_numbers(Run& run, InputFile descriptor) {
  Dataset& dataset = run.dataset;
  const DescriptorReading reading = read_descriptor_file(std::move(descriptor));
  if (reading.open_error != 0)
    stop_for_open_failure(run, "descriptor file", dataset.descriptor_path, reading.open_error);
  if (reading.read_error != 0) {
    stop_run(run, 1,
             "\n\n\tThe descriptor file " + dataset.descriptor_path +
                 " could not be read: " + std::strerror(reading.read_error) +
                 ".\n\tCheck the file and the device it is on, then run the program again.\n");
  }
  dataset.lines = reading.numbers.lines;
  dataset.columns = reading.numbers.columns;
  dataset.pixel_size = reading.numbers.pixel_size;
  return reading;
}

// Reads the descriptor file, or asks for its values and creates it when, and only when, there
// is none.
DescriptorReading read_or_create_descriptor(Run& run) {
  FILE* out = run.console.out;
  Dataset& dataset = run.dataset;
  InputFile descriptor(host_path_of(run, dataset.descriptor_path));
  if (descriptor.is_open()) return read_descriptor_numbers(run, std::move(descriptor));
  if (descriptor.kind() == FileKind::open_failed)
    stop_for_open_failure(run, "descriptor file", dataset.descriptor_path, descriptor.error());
  if (descriptor.kind() != FileKind::missing)
    stop_for_file_kind(run, "descriptor file", dataset.descriptor_path, descriptor.kind());

  fprintf(out, "\n\n\tNo File %s ", dataset.descriptor_path.c_str());
  const auto positive = [](int answer) { return answer >= 1; };
  dataset.lines = ask_int(
      run, [out] { fputs("\n\t\tNumber of lines   ? ", out); }, positive);
  dataset.columns = ask_int(
      run, [out] { fputs("\n\t\tNumber of columns ? ", out); }, positive);
  dataset.pixel_size = ask_int(
      run, [out] { fputs("\n\t\tPixel size ? ", out); }, [](int) { return true; });
  create_descriptor(run);
  DescriptorReading created;  // what a reading of the new descriptor gives of the raster
  created.numbers.lines = dataset.lines;
  created.numbers.columns = dataset.columns;
  created.numbers.pixel_size = dataset.pixel_size;
  return created;
}

// The size report, and the stop for dimensions that are no raster's.
void report_size(Run& run, const DescriptorReading& reading) {
  FILE* out = run.console.out;
  const Dataset& dataset = run.dataset;
  fputs("\n\n\tTHE FILE HAS : ", out);
  fprintf(out, "\n\t            %d LINES", dataset.lines);
  fprintf(out, "\n\t        AND %d COLUMNS\n", dataset.columns);
  if (gives_a_raster(reading.numbers)) return;
  stop_run(run, 1,
           "\n\n\t" + descriptor_refusal(dataset.descriptor_path, reading) +
               ".\n\tCorrect its first two numbers (lines, then columns), or delete it to be "
               "asked for them, then run the program again.\n");
}

// The dataset file that a result file of this path would overwrite, or "": a raw raster, or a
// descriptor (a .txt beside a .raw of the same name).
std::string dataset_file_at(const Run& run, const std::string& result_path) {
  const auto ends_with = [&result_path](const char* end) {
    const size_t length = std::strlen(end);
    return result_path.size() >= length &&
           result_path.compare(result_path.size() - length, length, end) == 0;
  };
  if (ends_with(".raw")) return result_path;
  if (!ends_with(".txt")) return "";
  const std::string raw = result_path.substr(0, result_path.size() - 4) + ".raw";
  struct stat status;
  if (stat(host_path_of(run, raw).c_str(), &status) == 0 && S_ISREG(status.st_mode))
    return result_path;
  return "";
}

// The result base name: the raster's, or a new one. A name whose result files would overwrite
// a file of a dataset is refused, and the choice offered again.
std::string ask_result_name(Run& run) {
  FILE* out = run.console.out;
  const std::string& raster_name = run.answers.raster_name;
  fputs("\n\n\tResulting File (Values reported in a txt File) :", out);
  for (;;) {
    const int choice = ask_int(
        run,
        [out, &raster_name] {
          fprintf(out, "\n\n\t\t0 -----> Use of the generic name %s ? ", raster_name.c_str());
          fputs("\n\t\t1 -----> Creation of a new File ? ", out);
        },
        [](int answer) { return answer == 0 || answer == 1; });
    std::string name = raster_name;
    if (choice == 1)
      name = ask_name(run, "\n\n\tName of the File to be created (without any extension) ? ");
    for (const char* suffix : {"_scabrosimeter.txt", "_scabrosimeter.xls"}) {
      const std::string overwritten = dataset_file_at(run, run.dataset.folder_path + name + suffix);
      if (overwritten.empty()) continue;
      fprintf(out,
              "\n\n\tThe result name %s cannot be used: its results would overwrite %s, a file "
              "of a dataset.\n\tChoose another name.\n",
              name.c_str(), overwritten.c_str());
      name.clear();
      break;
    }
    if (!name.empty()) return name;
  }
}

// Begins the report and the table: temporary files beside their final names, which they take
// once the analysis has written them whole.
void begin_results(Run& run) {
  Results& results = run.results;
  results.report_path = run.dataset.folder_path + run.answers.result_name + "_scabrosimeter.txt";
  results.table_path = run.dataset.folder_path + run.answers.result_name + "_scabrosimeter.xls";
  const auto begin = [&run](const char* what, const std::string& path) {
    int error = 0;
    std::unique_ptr<PendingFile> file = PendingFile::create(host_path_of(run, path), true, error);
    if (!file) {
      stop_for_creation(run, what, path, error,
                        "Check that the folder can be written to and that no folder of that name "
                        "stands in the way, then run the program again.");
    }
    return file;
  };
  std::unique_ptr<PendingFile> report = begin("report file", results.report_path);
  std::unique_ptr<PendingFile> table = begin("table file", results.table_path);
  results.report = std::move(report);
  results.table = std::move(table);
}

}  // namespace

void open_dataset(Run& run) {
  print_banner(run.console.out);
  ask_dataset(run);
  open_raw_raster(run);
  report_size(run, read_or_create_descriptor(run));
  run.answers.result_name = ask_result_name(run);
  begin_results(run);
}

}  // namespace scab
