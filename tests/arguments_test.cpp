#include "run/arguments.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace scab {
namespace {

TEST(Arguments, HelpAndVersionEndTheProgramAnythingElseIsRefused) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out_starts, err_starts;  // what each stream begins with ("" for nothing)
  };
  const std::string usage = "Usage: scabrosimeter [--help | --version]\n";
  const Case cases[] = {
      {{}, -1, "", ""},  // the dialog runs
      {{"--help"}, 0, usage, ""},
      {{"--version"}, 0, "scabrosimeter " SCABROSIMETER_VERSION "\n", ""},
      {{"-h"}, 2, "", "scabrosimeter: unknown argument: -h\n\n" + usage},
      {{"dem1"}, 2, "", "scabrosimeter: unknown argument: dem1\n\n" + usage},
      {{"--help", "--version"}, 2, "", "scabrosimeter: unknown argument: --help\n\n" + usage},
      {{""}, 2, "", "scabrosimeter: unknown argument: \n\n" + usage},
  };
  for (const Case& c : cases) {
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    EXPECT_EQ(handle_arguments(c.arguments, "/data/images", out, err), c.status);
    const std::string out_text = test::contents(out), err_text = test::contents(err);
    EXPECT_EQ(out_text.substr(0, c.out_starts.size()), c.out_starts);
    EXPECT_EQ(err_text.substr(0, c.err_starts.size()), c.err_starts);
    EXPECT_EQ(out_text.empty(), c.out_starts.empty());
    EXPECT_EQ(err_text.empty(), c.err_starts.empty());
    fclose(out);
    fclose(err);
  }
  // The usage names the host folder of the datasets and the exit statuses.
  const std::string text = usage_text("/data/images");
  EXPECT_NE(text.find("under c:\\images\\ (on this computer: /data/images)"), std::string::npos);
  EXPECT_NE(text.find("Exit status: 0"), std::string::npos);
}

}  // namespace
}  // namespace scab
