#include "run/descriptor.h"

#include "run/console.h"

namespace scab {
namespace {

// The characters of a word that a message shows.
constexpr size_t kShown = 40;
// How far a number or a word of a descriptor is read: well beyond any int, even with a few
// leading zeros, and one character beyond what a message shows, so that a longer word is
// told as such. The rest of a file of any size is never read.
constexpr size_t kLookAhead = kShown + 1;

}  // namespace

std::string what_was_found(const std::string& word) {
  if (word.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    return "it begins with a byte-order mark (the bytes EF BB BF), which is not a number: save "
           "it as plain text without one";
  }
  std::string shown;
  for (const char c : word.substr(0, kShown))
    shown +=
        (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) ? '?' : c;
  if (word.size() > kShown) shown += "...";
  const size_t digits_from = word[0] == '-' || word[0] == '+' ? 1 : 0;
  if (word.size() > digits_from &&
      word.find_first_not_of("0123456789", digits_from) == std::string::npos) {
    return "it holds " + shown + ", a number too large for the program (at most 2147483647)";
  }
  return "it holds \"" + shown + "\" where a number was expected";
}

std::string read_descriptor(FILE* file, int* const (&fields)[6]) {
  int read = 0;
  for (int* field : fields) {
    const long before = ftell(file);
    int value = 0;
    const ReadStatus status = read_int(file, value, kLookAhead);
    if (status == ReadStatus::not_a_number && read < 2 && fseek(file, before, SEEK_SET) == 0) {
      std::string word;
      read_word(file, word, kLookAhead);
      return word;
    }
    if (status != ReadStatus::ok) return "";
    *field = value;
    read++;
  }
  return "";
}

}  // namespace scab
