#include "run/arguments.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace scab {
namespace {

TEST(Arguments, HelpVersionAndFiguresAreTakenAnythingElseIsRefused) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out_starts, err_starts;  // what each stream begins with ("" for nothing)
    bool exact = false;                  // the figures chosen, when the dialog runs
  };
  const std::string usage = "Usage: scabrosimeter [--figures model|exact] | --help | --version\n";
  // Where the exact engine is not built, asking for exact figures is a wrong command line.
  const bool built = exact_engine_built();
  const int exact_status = built ? -1 : 2;
  const std::string not_built =
      built ? ""
            : "scabrosimeter: --figures exact is not in this build: it was built without the "
              "exact engine (GMP and MPFR were not found)\n\n" +
                  usage;
  const Case cases[] = {
      {{}, -1, "", ""},  // the dialog runs
      {{"--help"}, 0, usage, ""},
      {{"--version"}, 0, "scabrosimeter " SCABROSIMETER_VERSION "\n", ""},
      {{"--figures", "model"}, -1, "", ""},
      {{"--figures=model"}, -1, "", ""},
      {{"--figures", "exact"}, exact_status, "", not_built, built},
      {{"--figures=exact"}, exact_status, "", not_built, built},
      {{"--figures=exact", "--figures", "model"}, exact_status, "", not_built, false},
      {{"--figures"}, 2, "", "scabrosimeter: --figures needs a value: model or exact\n\n" + usage},
      {{"--figures", "Exact"},
       2,
       "",
       "scabrosimeter: --figures takes model or exact, not: Exact\n\n" + usage},
      {{"--figures="}, 2, "", "scabrosimeter: --figures takes model or exact, not: \n\n" + usage},
      {{"--figures", "model", "dem1"}, 2, "", "scabrosimeter: unknown argument: dem1\n\n" + usage},
      {{"--figures", "--help"},
       2,
       "",
       "scabrosimeter: --figures takes model or exact, not: --help\n\n" + usage},
      {{"-h"}, 2, "", "scabrosimeter: unknown argument: -h\n\n" + usage},
      {{"dem1"}, 2, "", "scabrosimeter: unknown argument: dem1\n\n" + usage},
      {{"--help", "--version"}, 2, "", "scabrosimeter: unknown argument: --help\n\n" + usage},
      {{""}, 2, "", "scabrosimeter: unknown argument: \n\n" + usage},
  };
  for (const Case& c : cases) {
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    Options options;
    const std::string what = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(handle_arguments(c.arguments, "/data/images", out, err, options), c.status) << what;
    const std::string out_text = test::contents(out), err_text = test::contents(err);
    EXPECT_EQ(out_text.substr(0, c.out_starts.size()), c.out_starts) << what;
    EXPECT_EQ(err_text.substr(0, c.err_starts.size()), c.err_starts) << what;
    EXPECT_EQ(out_text.empty(), c.out_starts.empty()) << what;
    EXPECT_EQ(err_text.empty(), c.err_starts.empty()) << what;
    if (c.status == -1) {
      EXPECT_EQ(options.exact_figures, c.exact) << what;
    }
    fclose(out);
    fclose(err);
  }
  // The usage names the host folder of the datasets, the figures' modes (and says where the
  // exact one is not built) and the exit statuses.
  const std::string text = usage_text("/data/images");
  EXPECT_NE(text.find("under c:\\images\\ (on this computer: /data/images)"), std::string::npos);
  EXPECT_NE(text.find("  --figures exact   every figure the exact value of its formula"),
            std::string::npos);
  EXPECT_EQ(text.find("(not in this build)") == std::string::npos, built);
  EXPECT_NE(text.find("Exit status: 0"), std::string::npos);
}

}  // namespace
}  // namespace scab
