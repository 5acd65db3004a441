#include "dataset/descriptor.h"

#include <cerrno>
#include <utility>

#include "dataset/text_input.h"

namespace scab {
namespace {

// The characters of a word that a message shows.
constexpr size_t kShown = 40;
// How far a number or a word of a descriptor is read: well beyond any int, even with a few
// leading zeros, and one character beyond what a message shows, so that a longer word is
// told as such. The rest of a file of any size is never read.
constexpr size_t kLookAhead = kShown + 1;

// What stopped the reading of a descriptor before its second number (the text read_descriptor
// gave), for a message: "it holds ...".
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

}  // namespace

std::string read_descriptor(FILE* file, DescriptorNumbers& numbers) {
  int* const fields[6] = {&numbers.lines,   &numbers.columns, &numbers.bytes_per_sample,
                          &numbers.minimum, &numbers.maximum, &numbers.pixel_size};
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

DescriptorReading read_descriptor_file(InputFile file) {
  DescriptorReading reading;
  errno = 0;
  FILE* stream = file.release_as_stream();
  if (!stream) {
    reading.open_error = errno != 0 ? errno : EIO;
    return reading;
  }
  reading.found = read_descriptor(stream, reading.numbers);
  if (ferror(stream)) reading.read_error = errno != 0 ? errno : EIO;
  fclose(stream);
  return reading;
}

bool gives_a_raster(const DescriptorNumbers& numbers) {
  return numbers.lines >= 1 && numbers.columns >= 1;
}

std::string descriptor_refusal(const std::string& path, const DescriptorReading& reading) {
  const DescriptorNumbers& numbers = reading.numbers;
  if (!reading.found.empty()) {
    return "The descriptor file " + path +
           " does not give the numbers of lines and columns: " + what_was_found(reading.found);
  }
  return "The descriptor file " + path + " gives " + std::to_string(numbers.lines) + " lines and " +
         std::to_string(numbers.columns) + " columns: a raster needs at least 1 of each";
}

void write_descriptor(FILE* file, int lines, int columns, int bytes_per_sample, int pixel_size) {
  fprintf(file, "%d\n%d\n%d\n%d\n%d\n%d\n", lines, columns, bytes_per_sample, 0, 65500, pixel_size);
}

}  // namespace scab
