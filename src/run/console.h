// The operator's console: an input stream, an output stream and a key reader. The real
// program wires standard input and output to it; a test wires in-memory streams.
#pragma once

#include <cstdio>
#include <functional>

#include "dataset/text_input.h"

namespace scab {

struct Console {
  FILE* in = nullptr;
  FILE* out = nullptr;
  // Waits for one key; the key is discarded.
  std::function<void()> getch;
  // Whether `out` is an interactive terminal, where a long analysis shows how far it is.
  bool terminal = false;
};

// The key read of the real console. When `in` is an interactive terminal: one key, no echo, no
// Enter. Otherwise one byte is taken from `in`; at end of input it returns at once.
void console_getch(FILE* in);

// Whether `stream` is an interactive terminal.
bool is_terminal(FILE* stream);

}  // namespace scab
