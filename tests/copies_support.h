// Runs a check once with each instruction-set copy of the kernels (arith/isa.h) that this build
// has and this processor runs.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "arith/isa.h"

namespace scab::test {

// check(name) with each copy in use in turn, the copy in use before restored after. A copy the
// processor does not run is named on standard output, as left out.
template <typename Check>
void on_every_copy(const Check& check) {
  const int before = isa::copy_in_use();
  for (int index = 0; index < isa::copy_count(); index++) {
    const std::string name = isa::copy_name(index);
    if (!isa::runs(index)) {
      std::printf("This processor does not run the %s copy: left out.\n", name.c_str());
      continue;
    }
    isa::use_copy(index);
    SCOPED_TRACE("the " + name + " copy");
    check(name);
  }
  isa::use_copy(before);
}

}  // namespace scab::test
