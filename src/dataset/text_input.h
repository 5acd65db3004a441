// Reading a number or a word from a stream as scanf's "%d" and "%s" read them: the dialog's
// answers and a descriptor's numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace scab {

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
