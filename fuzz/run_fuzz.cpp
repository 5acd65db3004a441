// libFuzzer target: one whole run of the program, in-process, driven by one input.
//
// An input is, in order:
//   one byte      which files exist: bit 0 the descriptor, bit 1 the raw raster, bit 2 the
//                 results of an earlier run for the result name "r" (r_scabrosimeter.txt, .xls);
//                 and bit 3 the figures: the exact engine's (--figures exact), not the model's
//   the answers   the operator's answers, up to the first "\n%%\n"
//   a descriptor  the descriptor file's text, up to the next "\n%%\n"
//   a raster      the raw raster's bytes, to the end of the input
// A missing separator leaves the sections after it empty. The raster and the descriptor are
// written under each name the dialog can build for the raster "r" in the folder "d" (r_m2, r_m4
// and r); the folder "e" exists and is empty. The files of fuzz/corpus/ follow this layout.
//
// Checked on every input, the process aborts when one fails:
//   - the run returns 0 or 1 (the answers are a finite stream, so every dialog ends);
//   - neither the console nor any file written holds "nan" or "inf" as a value;
//   - nothing is created anywhere but directly in the folder d or e, and no folder is created;
//   - no temporary file is left behind, and the dataset files (raw rasters and descriptors
//     that were there before the run) are byte-identical after it;
//   - earlier results are byte-identical after a run that stops (status 1), and after one that
//     ends (status 0) the report and the table were both replaced or both left alone.
// The memory a run may use is capped, so that a descriptor's dimensions, whatever they are,
// either load quickly or take the program's own memory stop.
#include <stdlib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "raster/memory.h"
#include "run/arguments.h"
#include "run/console.h"
#include "run/run.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSeparator = "\n%%\n";
// About 9 000 cells at most get loaded: a few milliseconds a run.
constexpr uint64_t kMemoryCeiling = 256u << 10;

[[noreturn]] void violation(const std::string& what) {
  fprintf(stderr, "\n*** %s\n", what.c_str());
  fflush(stderr);
  abort();
}

// The folder that holds the images root, made once per process and removed at its exit. It is
// never destroyed before that removal runs.
const fs::path& base_folder() {
  static const fs::path* const base = [] {
    std::string pattern = (fs::temp_directory_path() / "scabrosimeter-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) violation("the harness cannot make its temporary folder");
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(base_folder(), ignored);
    });
    return new fs::path(pattern);
  }();
  return *base;
}

void write_file(const fs::path& path, std::string_view bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) violation("the harness cannot write " + path.string());
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

std::string read_stream(FILE* stream) {
  std::string text;
  rewind(stream);
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, stream)) > 0)
    text.append(buffer, got);
  return text;
}

std::string read_file(const fs::path& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return "";
  std::string text = read_stream(file);
  fclose(file);
  return text;
}

bool is_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Aborts when `text` holds a word that printf gives for a value that is not a number: every
// value is printed as a word of its own. A word that the answers hold is excused: the program
// repeats names the operator typed.
void check_no_nan(const std::string& where, const std::string& text, const std::string& answers) {
  std::string word;
  for (size_t k = 0; k <= text.size(); k++) {
    if (k < text.size() && !is_space(text[k])) {
      word += text[k];
      continue;
    }
    for (const char* bad : {"nan", "-nan", "inf", "-inf"}) {
      if (word == bad && answers.find(word) == std::string::npos)
        violation("a value that is not a number (" + word + ") in " + where + ":\n" + text);
    }
    word.clear();
  }
}

std::set<fs::path> tree(const fs::path& folder) {
  std::set<fs::path> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    entries.insert(entry.path());
  return entries;
}

void clear_folder(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder))
    fs::remove_all(entry.path());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scab::set_memory_ceiling(kMemoryCeiling);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned flags = size > 0 ? data[0] : 0;
  std::string_view rest = input.substr(size > 0 ? 1 : 0);
  const auto next_section = [&rest] {
    const size_t end = rest.find(kSeparator);
    const std::string_view section = rest.substr(0, end);
    rest =
        end == std::string_view::npos ? std::string_view() : rest.substr(end + kSeparator.size());
    return section;
  };
  const std::string answers(next_section());
  const std::string_view descriptor = next_section();
  const std::string_view raster = rest;

  // The images root and its two folders.
  const fs::path& base = base_folder();
  clear_folder(base);
  const fs::path root = base / "images";
  fs::create_directories(root / "d");
  fs::create_directories(root / "e");
  for (const char* name : {"r_m2", "r_m4", "r"}) {
    if (flags & 1) write_file(root / "d" / (std::string(name) + ".txt"), descriptor);
    if (flags & 2) write_file(root / "d" / (std::string(name) + ".raw"), raster);
  }
  const fs::path earlier_report = root / "d" / "r_scabrosimeter.txt";
  const fs::path earlier_table = root / "d" / "r_scabrosimeter.xls";
  if (flags & 4) {
    write_file(earlier_report, "earlier report");
    write_file(earlier_table, "earlier table");
  }
  const std::set<fs::path> before = tree(base);
  std::map<fs::path, std::string> dataset_files;
  for (const fs::path& entry : before) {
    if (fs::is_regular_file(entry) && entry != earlier_report && entry != earlier_table)
      dataset_files[entry] = read_file(entry);
  }

  // The run.
  FILE* in = tmpfile();
  FILE* out = tmpfile();
  if (!in || !out) violation("the harness cannot make its streams");
  fwrite(answers.data(), 1, answers.size(), in);
  rewind(in);
  int status;
  {
    scab::Run run(scab::Console{in, out, [in] { scab::console_getch(in); }}, root.string());
    run.exact_figures = (flags & 8) != 0 && scab::exact_engine_built();
    status = scab::run_program(run);
  }
  const std::string console = read_stream(out);
  fclose(in);
  fclose(out);

  if (status != 0 && status != 1) violation("exit status " + std::to_string(status));

  check_no_nan("the console", console, answers);

  for (const auto& [path, bytes] : dataset_files) {
    if (read_file(path) != bytes) violation("a dataset file was changed: " + path.string());
  }
  if (flags & 4) {
    const bool report_replaced = read_file(earlier_report) != "earlier report";
    const bool table_replaced = read_file(earlier_table) != "earlier table";
    if (report_replaced != table_replaced)
      violation("only one of the earlier report and table was replaced\nconsole:\n" + console);
    if (report_replaced && status != 0)
      violation("a run that stopped replaced the earlier results\nconsole:\n" + console);
  }
  for (const fs::path& entry : tree(base)) {
    if (entry.filename().string().compare(0, 6, ".scab-") == 0)
      violation("a temporary file was left behind: " + entry.string());
    if (before.count(entry)) continue;
    const fs::path folder = entry.parent_path();
    if ((folder != root / "d" && folder != root / "e") || !fs::is_regular_file(entry))
      violation("created outside the dataset folder: " + entry.string() + "\nconsole:\n" + console);
    check_no_nan(entry.string(), read_file(entry), answers);
  }
  clear_folder(base);
  return 0;
}
