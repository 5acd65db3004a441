// The printing of the passes' numbers: printf's "%lf", or the word "undefined" for a number
// that has no value.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <optional>

namespace scab {

// A value that a pass may have no result for; printed as "undefined".
using Value = std::optional<double>;

// Prints `format` with each "%lf" replaced by the next value as printf's "%lf" gives it, or by
// the word "undefined" when the value is missing or not a finite number.
void print_values(FILE* stream, const char* format, std::initializer_list<Value> values);

}  // namespace scab
