#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#ifndef _WIN32
#include <stdlib.h>
#endif
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "raster/allocation.h"

namespace fs = std::filesystem;

namespace scab::test {

const char kBanner[] =
    "\n\n\t**************************************************************"
    "\n\t*                                                            *"
    "\n\t*                       Scabrosimeter                        *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                       Surface roughness of DEMs and images *"
    "\n\t*                                           December 2026    *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t**************************************************************"
    "\n\n\n\tThe same treatment can be applied to any morphometric variable\n";

TempFolder::TempFolder() {
#ifndef _WIN32
  std::string pattern = (fs::temp_directory_path() / "scabrosimeter-test-XXXXXX").string();
  if (mkdtemp(pattern.data())) {
    path_ = pattern;
    return;
  }
#endif
  static std::atomic<int> counter{0};
  for (;;) {
    const fs::path candidate =
        fs::temp_directory_path() /
        ("scabrosimeter-test-" + std::to_string(std::rand()) + "-" + std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void TempFolder::write(const std::string& relative, const std::string& bytes) const {
  const fs::path file = fs::path(path_) / relative;
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string TempFolder::read(const std::string& relative) const {
  std::ifstream file(fs::path(path_) / relative, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
#ifdef _WIN32
  // The program writes its text files in text mode: on Windows every "\n" is "\r\n" there.
  std::string text = bytes.str();
  std::string lf;
  for (size_t i = 0; i < text.size(); i++) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
  }
  return lf;
#else
  return bytes.str();
#endif
}

bool TempFolder::exists(const std::string& relative) const {
  return fs::exists(fs::path(path_) / relative);
}

void TempFolder::make_folder(const std::string& relative) const {
  fs::create_directories(fs::path(path_) / relative);
}

std::vector<std::string> TempFolder::list(const std::string& relative) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(path_) / relative))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

static std::string read_all(FILE* stream) {
  std::string text;
  rewind(stream);
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, stream)) > 0)
    text.append(buffer, got);
  return text;
}

Outcome run_with_answers(const TempFolder& images, const std::string& answers,
                         const std::function<int(Run&)>& phases) {
  FILE* in = tmpfile();
  FILE* out = tmpfile();
  fwrite(answers.data(), 1, answers.size(), in);
  rewind(in);
  Outcome outcome;
  {
    Run run(Console{in, out, [in] { fgetc(in); }}, images.path());
    outcome.status = phases(run);
  }
  outcome.console = read_all(out);
  for (int c = fgetc(in); c != EOF; c = fgetc(in))
    outcome.unread += static_cast<char>(c);
  fclose(in);
  fclose(out);
  return outcome;
}

namespace {

int spy_calls = 0;
int spy_fail_on = 0;
size_t spy_bytes = 0;
size_t spy_peak = 0;
std::map<void*, size_t> spy_live;

std::mutex spy_mutex;  // the analysis passes allocate from two threads

void* spy_calloc(size_t count, size_t size) {
  std::lock_guard<std::mutex> lock(spy_mutex);
  if (++spy_calls == spy_fail_on) return nullptr;
  void* block = std::calloc(count, size);
  if (block) {
    spy_live[block] = count * size;
    spy_bytes += count * size;
    spy_peak = std::max(spy_peak, spy_bytes);
  }
  return block;
}

void spy_free(void* block) {
  std::lock_guard<std::mutex> lock(spy_mutex);
  if (!block) return;
  const auto given = spy_live.find(block);
  if (given == spy_live.end()) {
    ADD_FAILURE() << "a block released twice or never given";
  } else {
    spy_bytes -= given->second;
    spy_live.erase(given);
  }
  std::free(block);
}

}  // namespace

AllocatorSpy::AllocatorSpy(int fail_on) {
  spy_calls = 0;
  spy_fail_on = fail_on;
  spy_bytes = 0;
  spy_peak = 0;
  spy_live.clear();
  set_allocator(spy_calloc, spy_free);
}

AllocatorSpy::~AllocatorSpy() {
  set_allocator(nullptr, nullptr);
}

int AllocatorSpy::calls() const {
  return spy_calls;
}
size_t AllocatorSpy::live_blocks() const {
  return spy_live.size();
}
size_t AllocatorSpy::peak_bytes() const {
  return spy_peak;
}

std::string report_head(const Run& run) {
  const std::string report = report_text(report_facts(run), FigureTexts());
  const size_t figures = report.find("\n\n\tRMS Line = ");
  EXPECT_NE(figures, std::string::npos) << report;
  return report.substr(0, figures);
}

std::string contents(FILE* stream) {
  std::string text;
  rewind(stream);
  for (int c = fgetc(stream); c != EOF; c = fgetc(stream))
    text += static_cast<char>(c);
  return text;
}

FILE* stream_of(const std::string& text) {
  FILE* file = tmpfile();
  fwrite(text.data(), 1, text.size(), file);
  rewind(file);
  return file;
}

std::string rest_of(FILE* stream) {
  std::string rest;
  for (int c = fgetc(stream); c != EOF; c = fgetc(stream))
    rest += static_cast<char>(c);
  return rest;
}

std::string bytes16(std::initializer_list<int> samples) {
  std::string bytes;
  for (int s : samples) {
    bytes += static_cast<char>(s & 0xff);
    bytes += static_cast<char>((s >> 8) & 0xff);
  }
  return bytes;
}

std::string bytes32(std::initializer_list<int> samples) {
  std::string bytes;
  for (int s : samples) {
    const unsigned u = static_cast<unsigned>(s);
    for (int shift = 0; shift < 32; shift += 8)
      bytes += static_cast<char>((u >> shift) & 0xff);
  }
  return bytes;
}

}  // namespace scab::test
