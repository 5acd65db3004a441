// Folder and file names, each with whether scab::is_plain_name accepts it: the one rule that
// both scabrosimeter's dialog and scabrosimeter-import apply to every folder and dataset name.
//
// Names with a blank are left out: the dialog reads each answer as one word, so a blank ends
// the name there and such a name cannot be typed into it at all (the importer refuses them for
// that reason, on top of this rule). A tab or a carriage return is a control character as well
// as a blank, so those names are here, refused by the rule itself.
#pragma once

#include <string>
#include <vector>

namespace scab::test {

struct NameCase {
  std::string name;
  bool accepted;
};

inline std::vector<NameCase> name_cases() {
  using namespace std::string_literals;  // "..."s keeps an embedded NUL
  return {
      {"dem1", true},
      {"relief-2", true},
      {"a.b_c", true},
      {".hidden", true},
      {"...", true},
      {"relief\xc3\xa9", true},  // UTF-8 bytes are not control characters
      {std::string(300, 'n'), true},
      {"", false},
      {".", false},
      {"..", false},
      {"..\r", false},
      {"d/..", false},
      {"/abs", false},
      {"..\\up", false},
      {"c:", false},
      {"c:r", false},
      {"x\0y"s, false},
      {"tab\tname", false},
      {"line\n", false},
      {"\x1b[31m", false},
      {"\x7f", false},
  };
}

}  // namespace scab::test
