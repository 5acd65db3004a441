// The operator's console: an input stream, an output stream and a key reader. The real
// program wires standard input and output to it; a test wires in-memory streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

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

enum class ReadStatus { ok, not_a_number, end_of_input };

// Reads an integer as "%d" does: white space skipped, an optional sign, decimal digits; the
// character after the digits is left for the next read. Text that is not an integer, or an
// integer that does not fit an int, gives not_a_number; what was read of it is consumed. A
// number of more than `max_digits` digits gives not_a_number once that many are read, the rest
// left unread.
ReadStatus read_int(FILE* in, int& value, size_t max_digits = SIZE_MAX);

// Reads one word as "%s" does: white space skipped, the word ends at white space. Any length,
// or at most `max_length` characters, the rest of a longer word left unread.
ReadStatus read_word(FILE* in, std::string& word, size_t max_length = SIZE_MAX);

// Discards the rest of the current input line, its newline included.
void discard_line(FILE* in);

}  // namespace scab
