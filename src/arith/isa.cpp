#include "arith/isa.h"

#include <atomic>
#include <cassert>
#include <cstdlib>
#include <cstring>

namespace scab::isa {
namespace {

#define SCABROSIMETER_NAME_OF_COPY(name, ...) #name,
const char* const kNames[] = {SCABROSIMETER_FOR_EACH_COPY(SCABROSIMETER_NAME_OF_COPY)};
#undef SCABROSIMETER_NAME_OF_COPY
constexpr int kCopies = sizeof kNames / sizeof kNames[0];

// Whether the processor and the system run copy `index`.
bool processor_runs(int index) {
#define SCABROSIMETER_RUNS_COPY(name, ...) SCABROSIMETER_PASTE(SCABROSIMETER_RUNS_, name),
  static const bool kRuns[] = {SCABROSIMETER_FOR_EACH_COPY(SCABROSIMETER_RUNS_COPY)};
#undef SCABROSIMETER_RUNS_COPY
  return kRuns[index];
}

}  // namespace

int widest_allowed(const char* baseline, const char* named) {
  if (baseline != nullptr && baseline[0] != '\0' && std::strcmp(baseline, "0") != 0) return 0;
  int index = kCopies - 1;
  for (int k = 0; named != nullptr && k < kCopies; k++) {
    if (std::strcmp(named, kNames[k]) == 0) index = k;
  }
  while (index > 0 && !processor_runs(index))
    index--;
  return index;
}

namespace {

std::atomic<int>& choice() {
  static std::atomic<int> index{
      widest_allowed(std::getenv("SCABROSIMETER_BASELINE"), std::getenv("SCABROSIMETER_ISA"))};
  return index;
}

}  // namespace

int copy_in_use() {
  return choice().load(std::memory_order_relaxed);
}

int copy_count() {
  return kCopies;
}

const char* copy_name(int index) {
  assert(index >= 0 && index < kCopies);
  return kNames[index];
}

bool runs(int index) {
  assert(index >= 0 && index < kCopies);
  return processor_runs(index);
}

int use_copy(int index) {
  assert(runs(index));
  return choice().exchange(index);
}

}  // namespace scab::isa
