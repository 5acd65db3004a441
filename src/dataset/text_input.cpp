#include "dataset/text_input.h"

#include <cctype>
#include <climits>

namespace scab {

namespace {

int skip_white_space(FILE* in) {
  int c = fgetc(in);
  while (c != EOF && std::isspace(static_cast<unsigned char>(c)))
    c = fgetc(in);
  return c;
}

}  // namespace

ReadStatus read_int(FILE* in, int& value, size_t max_digits) {
  int c = skip_white_space(in);
  if (c == EOF) return ReadStatus::end_of_input;
  const bool negative = c == '-';
  if (c == '-' || c == '+') c = fgetc(in);
  if (c == EOF || !std::isdigit(c)) {
    if (c != EOF) ungetc(c, in);
    return ReadStatus::not_a_number;
  }
  long long magnitude = 0;
  bool fits = true;
  size_t digits = 0;
  for (; c != EOF && std::isdigit(c); c = fgetc(in)) {
    if (++digits > max_digits) break;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) {
      fits = false;
      magnitude = 0;
    }
  }
  if (c != EOF) ungetc(c, in);
  const long long signed_value = negative ? -magnitude : magnitude;
  if (digits > max_digits || !fits || signed_value > INT_MAX || signed_value < INT_MIN)
    return ReadStatus::not_a_number;
  value = static_cast<int>(signed_value);
  return ReadStatus::ok;
}

ReadStatus read_word(FILE* in, std::string& word, size_t max_length) {
  int c = skip_white_space(in);
  if (c == EOF) return ReadStatus::end_of_input;
  word.clear();
  for (; c != EOF && !std::isspace(static_cast<unsigned char>(c)); c = fgetc(in)) {
    if (word.size() == max_length) break;
    word += static_cast<char>(c);
  }
  if (c != EOF) ungetc(c, in);
  return ReadStatus::ok;
}

void discard_line(FILE* in) {
  int c = fgetc(in);
  while (c != EOF && c != '\n')
    c = fgetc(in);
}

}  // namespace scab
