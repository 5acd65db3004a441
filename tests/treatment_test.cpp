#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "test_support.h"

namespace scab {
namespace {

// Runs the driver over `values` (whole numbers, stored as 32-bit samples) with the console,
// the report and the table all written to one stream, so that the order of everything the
// passes write can be seen.
std::string treat(const std::vector<std::vector<int>>& values, int& treat_type, int& scan_type,
                  bool terminal = false) {
  FILE* all = tmpfile();
  FILE* raw = tmpfile();
  for (const auto& line : values) {
    for (int v : line) {
      const std::string bytes = test::bytes32({v});
      fwrite(bytes.data(), 1, bytes.size(), raw);
    }
  }
  rewind(raw);
  std::string text;
  {
    Run run(Console{nullptr, all, [] {}, terminal}, "");
    run.progress_after = 0;  // a terminal shows the progress line at once
    run.nb_lig = static_cast<int>(values.size());
    run.nb_col = static_cast<int>(values[0].size());
    run.dtab.reset(
        new RawRaster(InputFile::from_descriptor(dup(fileno(raw))), run.nb_lig, run.nb_col, 4));
    run.f2d = all;
    run.f3d = all;
    run.treat_type = treat_type;
    run.scan_type = scan_type;
    treatment(run);
    treat_type = run.treat_type;
    scan_type = run.scan_type;
    run.f2d = run.f3d = nullptr;
  }
  fclose(raw);
  rewind(all);
  for (int c = fgetc(all); c != EOF; c = fgetc(all))
    text += static_cast<char>(c);
  fclose(all);
  return text;
}

TEST(Treatment, ProfilePassThenRmsErrorPassInOrder) {
  int treat_type = 0, scan_type = 3;
  const std::string text = treat({{1, 2, 3}, {4, 5, 6}}, treat_type, scan_type);
  EXPECT_EQ(treat_type, 2);
  EXPECT_EQ(scan_type, 2);
  EXPECT_EQ(text,
            "1\t0.816497\n2\t0.816497\n"  // table rows before the first console result
            "\n\n\tResults\n"
            "\n\tRMS line 0.816497 \n\n\tRMS Line = 0.816497 "
            "\n\tRMS column 1.500000 \n\tRMS Column = 1.500000 "
            "\n\tRMS total 0.594219\n\tAverage RMS 1.341441 "
            "\n\thomogeneity coefficient 44.297082 "
            "\n\tRMS image = 1.707825 Standard deviation = 0.763763 "
            "\n\tRMS Image = 1.707825 \n\tStandard Deviation = 0.763763 "
            "\n\tHomogeneity Coeff. = 55.702918 "
            "\n\tslope = undefined \n\n\tr = undefined r(sqrt) = undefined r2 = undefined "
            "\n\n\tPor parte Ortalvesco\n\t\tSlope = undefined r = undefined r2 = undefined "
            "\n\t\tRMS Error = undefined     Standard Deviation = undefined \n\n"
            "\n\n\tRMS error = undefined standard deviation = undefined ");
}

TEST(Treatment, ProgressLineOnATerminalOnlyAndErasedBeforeTheResults) {
  std::vector<std::vector<int>> values(3000, std::vector<int>(400));
  for (size_t i = 0; i < values.size(); i++) {
    for (size_t j = 0; j < values[i].size(); j++)
      values[i][j] = static_cast<int>((i * 7919 + j * 104729) % 1000);
  }
  int treat_type = 0, scan_type = 3;
  const std::string piped = treat(values, treat_type, scan_type);
  EXPECT_EQ(piped.find('\r'), std::string::npos);
  treat_type = 0;
  scan_type = 3;
  const std::string on_terminal = treat(values, treat_type, scan_type, true);
  const std::string erase = "\r                              \r";
  const size_t erased = on_terminal.find(erase);
  ASSERT_NE(erased, std::string::npos) << "the analysis takes long enough to show it";
  EXPECT_EQ(on_terminal.find("\r\tAnalysing: "), 0u);
  EXPECT_EQ(on_terminal.rfind("\r\tAnalysing: ") + 18, erased) << "redrawn in place";
  EXPECT_LT(erased, on_terminal.find("\n\n\tResults\n"));
  // Once erased, the transcript is the one a pipe gets.
  EXPECT_EQ(on_terminal.substr(erased + erase.size()), piped);
}

TEST(Treatment, OtherStatesRunNothing) {
  for (auto [treat_type, scan_type] : {std::pair{1, 3}, std::pair{0, 2}, std::pair{2, 3}}) {
    const int t = treat_type, s = scan_type;
    EXPECT_EQ(treat({{1, 2}, {3, 4}}, treat_type, scan_type), "") << t << " " << s;
    EXPECT_EQ(treat_type, t);
    EXPECT_EQ(scan_type, s);
  }
}

}  // namespace
}  // namespace scab
