#include "analysis/print.h"

#include <cmath>
#include <cstring>

namespace scab {

void print_values(FILE* stream, const char* format, std::initializer_list<Value> values) {
  const Value* next = values.begin();
  const char* text = format;
  while (const char* conversion = std::strstr(text, "%lf")) {
    fwrite(text, 1, static_cast<size_t>(conversion - text), stream);
    const bool defined = next != values.end() && next->has_value() && std::isfinite(**next);
    if (defined) {
      fprintf(stream, "%lf", **next);
    } else {
      fputs("undefined", stream);
    }
    if (next != values.end()) ++next;
    text = conversion + 3;
  }
  fputs(text, stream);
}

}  // namespace scab
