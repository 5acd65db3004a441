#include "arith/isa.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace scab::isa {
namespace {

bool processor_has_avx2() {
#if defined(SCABROSIMETER_AVX2_KERNELS)
  // The whole x86-64-v3 level (AVX2, FMA, BMI1 and 2, LZCNT, MOVBE, F16C...), and a system that
  // saves the AVX registers: libgcc checks XCR0 before it reports AVX or AVX2.
  __builtin_cpu_init();
  return __builtin_cpu_supports("x86-64-v3");
#else
  return false;
#endif
}

bool baseline_asked() {
  const char* value = std::getenv("SCABROSIMETER_BASELINE");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

std::atomic<bool>& choice() {
  static std::atomic<bool> avx2{processor_has_avx2() && !baseline_asked()};
  return avx2;
}

}  // namespace

bool avx2_in_use() {
  return choice().load(std::memory_order_relaxed);
}

bool use_avx2(bool wanted) {
  return choice().exchange(wanted && processor_has_avx2());
}

}  // namespace scab::isa
