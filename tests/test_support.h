// Helpers for running the program in-process: a temporary images folder, scripted answers,
// and the console transcript.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "run/run.h"

namespace scab::test {

// A fresh folder that stands for the root c:\images, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // `relative` uses '/' and may name sub-folders, which are made as needed.
  void write(const std::string& relative, const std::string& bytes) const;
  // The file's bytes; on Windows with "\r\n" read as "\n", since the program writes its text
  // files in text mode there.
  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  void make_folder(const std::string& relative) const;
  // The names of the entries of a folder, sorted.
  std::vector<std::string> list(const std::string& relative) const;

 private:
  std::string path_;
};

struct Outcome {
  int status = -1;
  std::string console;
  std::string unread;  // what the run left of its answers (each key wait takes one byte)
};

// Runs `phases` (the whole program by default) over a run whose answers come from `answers`
// and whose key reads take one byte of them, as with a file of answers.
Outcome run_with_answers(const TempFolder& images, const std::string& answers,
                         const std::function<int(Run&)>& phases = run_program);

// Stands in for the allocator of the buffers (raster/allocation.h) while it lives: counts the
// calls, makes the `fail_on`-th one (from 1; 0 for none) fail, and keeps track of the blocks
// given and not yet released and of the most bytes held at once. A block released twice, or never
// given, fails the test.
class AllocatorSpy {
 public:
  explicit AllocatorSpy(int fail_on = 0);
  ~AllocatorSpy();
  AllocatorSpy(const AllocatorSpy&) = delete;
  AllocatorSpy& operator=(const AllocatorSpy&) = delete;

  int calls() const;
  size_t live_blocks() const;
  size_t peak_bytes() const;  // the most held at once
};

// The report's lines before its figures, as the run's findings so far give them.
std::string report_head(const Run& run);

// Everything `stream` holds, from its start.
std::string contents(FILE* stream);

// A temporary stream holding `text`, positioned at its start; and what is left of a stream from
// where it stands.
FILE* stream_of(const std::string& text);
std::string rest_of(FILE* stream);

// The raw bytes of 16-bit and 32-bit samples, least significant byte first.
std::string bytes16(std::initializer_list<int> samples);
std::string bytes32(std::initializer_list<int> samples);

// The banner and the first questions, as the console shows them.
extern const char kBanner[];

}  // namespace scab::test
