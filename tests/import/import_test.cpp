#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif
#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "dataset/paths.h"
#include "import/importer.h"
#include "tests/immutable_support.h"
#include "tests/name_cases.h"

namespace fs = std::filesystem;
using namespace scab::import;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const GeoTransform kSquare30 = {500000, 30, 0, 4000000, 0, -30};

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<int> read_bytes(const fs::path& path) {
  std::vector<int> bytes;
  for (char c : read_file(path))
    bytes.push_back(static_cast<unsigned char>(c));
  return bytes;
}

using Bytes = std::vector<int>;

// The names in `folder`, so that a temporary file left behind shows.
std::set<std::string> entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

// A temporary folder with an images root inside; the importer runs in-process.
struct Workspace {
  fs::path dir;
  fs::path root;
  std::string out;
  std::string err;

  Workspace() {
    std::random_device random;
    do {
      dir = fs::temp_directory_path() / ("scab_import_" + std::to_string(random()));
    } while (!fs::create_directory(dir));
    root = dir / "images";
  }
  ~Workspace() { fs::remove_all(dir); }

  std::string tiff(GDALDataType type, int lines, int columns,
                   const std::vector<std::vector<double>>& bands,
                   std::optional<double> nodata = std::nullopt,
                   std::optional<GeoTransform> geotransform = kSquare30) {
    GDALAllRegister();
    const std::string path = (dir / ("input" + std::to_string(++tiffs) + ".tif")).string();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), columns, lines,
                                                static_cast<int>(bands.size()), type, nullptr));
    if (geotransform) dataset->SetGeoTransform(geotransform->data());
    for (size_t b = 0; b < bands.size(); ++b) {
      GDALRasterBand* band = dataset->GetRasterBand(static_cast<int>(b) + 1);
      if (nodata) band->SetNoDataValue(*nodata);
      std::vector<double> values = bands[b];
      if (band->RasterIO(GF_Write, 0, 0, columns, lines, values.data(), columns, lines, GDT_Float64,
                         0, 0) != CE_None) {
        throw std::runtime_error("cannot write " + path);
      }
    }
    return path;
  }

  // A VRT over `tiff` whose band has this NoData value. Unlike a GeoTIFF, which hands back
  // the NoData value of a float band rounded to float, it keeps the double as it was given.
  std::string vrt(const std::string& tiff, double nodata) {
    GDALDatasetUniquePtr source(GDALDataset::Open(tiff.c_str(), GDAL_OF_RASTER));
    const std::string path = tiff + ".vrt";
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("VRT");
    GDALDatasetUniquePtr copy(
        driver->CreateCopy(path.c_str(), source.get(), false, nullptr, nullptr, nullptr));
    copy->GetRasterBand(1)->SetNoDataValue(nodata);
    return path;
  }

  // A VRT of `lines` x `columns` bytes with no data behind it: GDAL reads its band as zeros.
  std::string empty_vrt(long long lines, long long columns) {
    const std::string path = (dir / ("empty" + std::to_string(++tiffs) + ".vrt")).string();
    std::ofstream(path) << "<VRTDataset rasterXSize=\"" << columns << "\" rasterYSize=\"" << lines
                        << "\">\n  <VRTRasterBand dataType=\"Byte\" band=\"1\"/>\n</VRTDataset>\n";
    return path;
  }

  int import(std::vector<std::string> args) {
    args.insert(args.begin(), {"--images-root", root.string()});
    std::ostringstream out_stream, err_stream;
    const int status = run(args, out_stream, err_stream);
    out = out_stream.str();
    err = err_stream.str();
    return status;
  }

  int tiffs = 0;
};

}  // namespace

TEST(Import, WritesSmallIntegersAs16BitDem) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_UInt16, 2, 3, {{0, 1, 258, 65535, 300, 7}});
  ASSERT_EQ(ws.import({input, "dem1", "hill"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "dem1/hill_m2.raw"),
            Bytes({0, 0, 1, 0, 2, 1, 0xff, 0xff, 0x2c, 1, 7, 0}));
  EXPECT_EQ(read_file(ws.root / "dem1/hill_m2.txt"), "2\n3\n2\n0\n65500\n30\n");
  EXPECT_EQ(ws.err, "");
  EXPECT_NE(ws.out.find("  folder:       dem1\n"), std::string::npos) << ws.out;
  EXPECT_NE(ws.out.find("  height unit:  0 (metres)\n"), std::string::npos) << ws.out;
  EXPECT_NE(ws.out.find("\n  printf 'dem1\\n0\\nhill\\n0\\n0\\n0\\n' | scabrosimeter\n"),
            std::string::npos)
      << ws.out;
}

TEST(Import, WritesOtherIntegersAs32BitDem) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_Int32, 1, 3, {{-1, 70000, -2147483648.0}});
  ASSERT_EQ(ws.import({input, "d", "n"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "d/n_m4.raw"),
            Bytes({0xff, 0xff, 0xff, 0xff, 0x70, 0x11, 1, 0, 0, 0, 0, 0x80}));
  EXPECT_EQ(read_file(ws.root / "d/n_m4.txt"), "1\n3\n4\n0\n65500\n30\n");
  EXPECT_NE(ws.out.find("printf 'd\\n0\\nn\\n1\\n0\\n0\\n' | scabrosimeter"), std::string::npos);

  const std::string just_above = ws.tiff(GDT_UInt32, 1, 2, {{0, 65536}});
  ASSERT_EQ(ws.import({just_above, "d", "edge"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "d/edge_m4.raw"), Bytes({0, 0, 0, 0, 0, 0, 1, 0}));

  const std::string too_large = ws.tiff(GDT_UInt32, 1, 2, {{1, 3000000000.0}});
  EXPECT_EQ(ws.import({too_large, "d", "big"}), 1);
  EXPECT_NE(ws.err.find("does not fit a 32-bit sample at line 0, column 1"), std::string::npos);
  EXPECT_FALSE(fs::exists(ws.root / "d/big_m4.raw"));
}

TEST(Import, ScalesFloatHeightsToTheChosenUnit) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_Float64, 2, 2, {{1.234, -0.456, 2.006, 123.456}});
  ASSERT_EQ(ws.import({input, "f", "n", "--unit", "cm"}), 0) << ws.err;
  // 123.4, -45.6, 200.6 and 12345.6 cm, rounded to nearest
  EXPECT_EQ(read_bytes(ws.root / "f/n_m4.raw"),
            Bytes({123, 0, 0, 0, 0xd2, 0xff, 0xff, 0xff, 0xc9, 0, 0, 0, 0x3a, 0x30, 0, 0}));
  EXPECT_NE(ws.out.find("printf 'f\\n0\\nn\\n1\\n0\\n2\\n' | scabrosimeter"), std::string::npos);

  const std::string huge = ws.tiff(GDT_Float64, 1, 1, {{3e6}});
  EXPECT_EQ(ws.import({huge, "f", "huge", "--unit=mm"}), 1);
  EXPECT_NE(ws.err.find("(3000000000 after scaling) does not fit"), std::string::npos) << ws.err;
}

TEST(Import, FloatHeightsNeedAUnitOnlyWhenTheyHaveFractions) {
  Workspace ws;
  const std::string fractions = ws.tiff(GDT_Float32, 1, 2, {{3, 4.5}});
  EXPECT_EQ(ws.import({fractions, "f", "n"}), 1);
  EXPECT_NE(ws.err.find("heights have fractions (4.5 at line 0, column 1)"), std::string::npos);
  EXPECT_NE(ws.err.find("--unit dm, cm or mm"), std::string::npos);
  EXPECT_FALSE(fs::exists(ws.root / "f"));

  const std::string whole = ws.tiff(GDT_Float32, 1, 2, {{3, 400}});
  ASSERT_EQ(ws.import({whole, "f", "n"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "f/n_m2.raw"), Bytes({3, 0, 0x90, 1}));
}

TEST(Import, WritesAn8BitImage) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_Byte, 1, 3, {{0, 128, 255}});
  ASSERT_EQ(ws.import({"--image", input, "img", "grey"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "img/grey.raw"), Bytes({0, 128, 255}));
  EXPECT_EQ(read_file(ws.root / "img/grey.txt"), "1\n3\n1\n0\n65500\n30\n");
  EXPECT_NE(ws.out.find("printf 'img\\n1\\ngrey\\n0\\n' | scabrosimeter"), std::string::npos);

  const std::string wide = ws.tiff(GDT_UInt16, 1, 2, {{255, 300}});
  EXPECT_EQ(ws.import({"--image", wide, "img", "wide"}), 1);
  EXPECT_NE(ws.err.find("image values must be from 0 to 255; found 300"), std::string::npos);
  const std::string fraction = ws.tiff(GDT_Float32, 1, 2, {{255, 1.5}});
  EXPECT_EQ(ws.import({"--image", fraction, "img", "fraction"}), 1);
  EXPECT_NE(ws.err.find("image values must be whole numbers; found 1.5"), std::string::npos);
  EXPECT_EQ(ws.import({"--image", "--unit", "m", input, "img", "grey"}), 2);
}

TEST(Import, RefusesMissingCellsByDefault) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_Int16, 2, 3, {{1, -9999, 3, 4, 5, -9999}}, -9999);
  EXPECT_EQ(ws.import({input, "m", "n"}), 1);
  EXPECT_NE(ws.err.find("2 of 6 cells are missing"), std::string::npos) << ws.err;
  EXPECT_NE(ws.err.find("--crop-valid"), std::string::npos);
  EXPECT_FALSE(fs::exists(ws.root / "m"));
}

TEST(Import, FillsNoDataAndNaNBeforeScaling) {
  Workspace ws;
  // 0.1 is not a float: the band's NoData still matches the float cell 0.1f.
  const std::string input = ws.vrt(ws.tiff(GDT_Float32, 1, 4, {{0.1, 5, kNaN, 7}}), 0.1);
  ASSERT_EQ(ws.import({input, "m", "n", "--fill", "2.5", "--unit", "dm"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "m/n_m2.raw"), Bytes({25, 0, 50, 0, 25, 0, 70, 0}));
  EXPECT_NE(ws.out.find("Missing cells: 2 filled with 2.5\n"), std::string::npos) << ws.out;
}

// A fill value that could not be written is a wrong command line, found before the input is
// read (here it does not exist), whatever the order of the options.
TEST(Import, RefusesAFillValueItCannotWrite) {
  Workspace ws;
  const std::string absent = (ws.dir / "absent.tif").string();
  const std::vector<std::vector<std::string>> refused = {
      {"--fill", "nan"},
      {"--fill", "-inf"},
      {"--fill", "1e999"},  // read as infinity
      {"--fill", "2.5"},    // a fraction needs a unit to be rounded to
      {"--fill", "2147483648"},
      {"--fill", "-2147483649"},
      {"--fill", "3e6", "--unit", "mm"},
      {"--unit", "m", "--fill", "2147483647.5"},  // rounds to 2^31
      {"--image", "--fill", "256"},
      {"--fill", "-1", "--image"},
      {"--fill", "0.5", "--image"},
  };
  for (std::vector<std::string> args : refused) {
    SCOPED_TRACE(::testing::PrintToString(args));
    args.insert(args.end(), {absent, "f", "n"});
    EXPECT_EQ(ws.import(args), 2);
    EXPECT_NE(ws.err.find("\nTry 'scabrosimeter-import --help'.\n"), std::string::npos) << ws.err;
  }
  EXPECT_EQ(ws.import({"--fill", "nan", absent, "f", "n"}), 2);
  EXPECT_EQ(ws.err.rfind("scabrosimeter-import: --fill needs a finite number, not 'nan'\n", 0), 0u)
      << ws.err;
  EXPECT_EQ(ws.import({"--fill", "3e6", "--unit", "mm", absent, "f", "n"}), 2);
  EXPECT_NE(ws.err.find("--fill 3e6 (3000000000 after --unit) does not fit a 32-bit sample"),
            std::string::npos)
      << ws.err;
  EXPECT_FALSE(fs::exists(ws.root));

  // The edges of what can be written get as far as reading the input.
  const std::vector<std::vector<std::string>> accepted = {
      {"--fill", "2147483647"},
      {"--fill", "-2147483648"},
      {"--fill", "2147483647.4", "--unit", "m"},
      {"--fill", "2.5", "--unit", "dm"},
      {"--image", "--fill", "255"},
      {"--fill", "0", "--image"},
  };
  for (std::vector<std::string> args : accepted) {
    SCOPED_TRACE(::testing::PrintToString(args));
    args.insert(args.end(), {absent, "f", "n"});
    EXPECT_EQ(ws.import(args), 1);
    EXPECT_NE(ws.err.find("cannot read " + absent + " as a raster"), std::string::npos) << ws.err;
  }
}

// The fill value is written like every other cell: it takes part in the choice of the sample
// width, and a 32-bit edge value is written exactly.
TEST(Import, TheFillValueTakesPartInTheSampleWidth) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_Int16, 1, 3, {{3, -9999, 5}}, -9999);
  ASSERT_EQ(ws.import({input, "m", "high", "--fill", "65535"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "m/high_m2.raw"), Bytes({3, 0, 0xff, 0xff, 5, 0}));
  ASSERT_EQ(ws.import({input, "m", "low", "--fill", "-2147483648"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "m/low_m4.raw"), Bytes({3, 0, 0, 0, 0, 0, 0, 0x80, 5, 0, 0, 0}));
  EXPECT_NE(ws.out.find("Missing cells: 1 filled with -2147483648\n"), std::string::npos) << ws.out;
  EXPECT_NE(ws.out.find("(32-bit DEM, 4 byte(s) per sample"), std::string::npos) << ws.out;
}

TEST(Import, CropValidWritesTheLargestValidRectangle) {
  Workspace ws;
  const double x = -1;
  const std::string input = ws.tiff(GDT_Int16, 4, 5, {{x, 1,  2,  3,  4,   //
                                                       5, 6,  7,  8,  x,   //
                                                       9, 10, 11, 12, 13,  //
                                                       x, 14, 15, 16, x}},
                                    x);
  ASSERT_EQ(ws.import({"--crop-valid", input, "c", "n"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "c/n_m2.raw"),
            Bytes({1, 0, 2, 0, 3, 0, 6, 0, 7, 0, 8, 0, 10, 0, 11, 0, 12, 0, 14, 0, 15, 0, 16, 0}));
  EXPECT_EQ(read_file(ws.root / "c/n_m2.txt"), "4\n3\n2\n0\n65500\n30\n");
  EXPECT_NE(ws.out.find("lines 0 to 3, columns 1 to 3 of the 4 x 5 raster"), std::string::npos);
}

namespace {

// '#' marks a missing cell.
Grid pattern(const std::vector<std::string>& lines) {
  Grid grid{static_cast<int>(lines.size()), static_cast<int>(lines[0].size()), {}};
  for (const std::string& line : lines) {
    for (char c : line)
      grid.values.push_back(c == '#' ? kNaN : 1);
  }
  return grid;
}

long long largest_area_by_trying_all(const Grid& grid) {
  long long best = 0;
  for (int top = 0; top < grid.lines; ++top)
    for (int left = 0; left < grid.columns; ++left)
      for (int bottom = top; bottom < grid.lines; ++bottom)
        for (int right = left; right < grid.columns; ++right) {
          Grid part = crop(grid, {top, left, bottom - top + 1, right - left + 1});
          if (count_missing(part) == 0) best = std::max(best, (long long)part.values.size());
        }
  return best;
}

void expect_rectangle(const Rectangle& found, const Rectangle& expected) {
  EXPECT_EQ(found.top, expected.top);
  EXPECT_EQ(found.left, expected.left);
  EXPECT_EQ(found.lines, expected.lines);
  EXPECT_EQ(found.columns, expected.columns);
}

}  // namespace

TEST(Import, LargestValidRectangleOnPatterns) {
  expect_rectangle(largest_valid_rectangle(pattern({"....", "....", "...."})), {0, 0, 3, 4});
  expect_rectangle(largest_valid_rectangle(pattern({"##", "##"})), {0, 0, 0, 0});
  expect_rectangle(largest_valid_rectangle(pattern({"#.#", "###"})), {0, 1, 1, 1});
  expect_rectangle(largest_valid_rectangle(pattern({"..#..", "....#", "#...."})), {1, 1, 2, 3});
  expect_rectangle(largest_valid_rectangle(pattern({"#....#", "#....#", "######", ".....#"})),
                   {0, 1, 2, 4});
  expect_rectangle(largest_valid_rectangle(pattern({"....", ".#..", "...."})), {0, 2, 3, 2});

  std::mt19937 random(12345);
  for (int trial = 0; trial < 300; ++trial) {
    Grid grid{1 + static_cast<int>(random() % 6), 1 + static_cast<int>(random() % 7), {}};
    for (int i = 0; i < grid.lines * grid.columns; ++i) {
      grid.values.push_back(random() % 4 == 0 ? kNaN : 1);
    }
    const Rectangle found = largest_valid_rectangle(grid);
    const Grid part = crop(grid, found);
    EXPECT_EQ(count_missing(part), 0);
    ASSERT_EQ(static_cast<long long>(part.values.size()), largest_area_by_trying_all(grid))
        << "trial " << trial;
  }
}

TEST(Import, PixelSizeFromTheGeotransform) {
  EXPECT_EQ(pixel_size(kSquare30).value, 30);
  EXPECT_TRUE(pixel_size(kSquare30).warnings.empty());

  const PixelSize fraction = pixel_size(GeoTransform{0, 2.6, 0, 0, 0, -2.6});
  EXPECT_EQ(fraction.value, 3);
  ASSERT_EQ(fraction.warnings.size(), 1u);
  EXPECT_EQ(fraction.warnings[0], "pixel size 2.6 is not whole; 3 written");

  const PixelSize rotated = pixel_size(GeoTransform{0, 10, 0, 0, 0.5, -10});
  EXPECT_EQ(rotated.value, 10);
  ASSERT_EQ(rotated.warnings.size(), 1u);
  EXPECT_NE(rotated.warnings[0].find("rotated"), std::string::npos);

  // One warning says what is written and why, never a 0 that is not written.
  const PixelSize degrees = pixel_size(GeoTransform{10, 0.0003, 0, 50, 0, -0.0003});
  EXPECT_EQ(degrees.value, 1);
  EXPECT_EQ(degrees.warnings, std::vector<std::string>({
                                  "pixel size 0.0003 rounds to 0, which is no size: 1 written, "
                                  "the smallest whole size; if the raster is in degrees, "
                                  "reproject it to metres first (gdalwarp -t_srs)",
                              }));
  const PixelSize half = pixel_size(GeoTransform{0, 0.5, 0, 0, 0, -0.5});
  EXPECT_EQ(half.value, 1);
  EXPECT_EQ(half.warnings, std::vector<std::string>({"pixel size 0.5 is not whole; 1 written"}));

  // Steps computed from an extent differ from the intended ones in their last bits only.
  const double thirty = 30 * (1 + 4 * std::numeric_limits<double>::epsilon());
  ASSERT_NE(thirty, 30);
  const PixelSize nearly_whole = pixel_size(GeoTransform{0, thirty, 0, 0, 0, -30});
  EXPECT_EQ(nearly_whole.value, 30);
  EXPECT_TRUE(nearly_whole.warnings.empty()) << nearly_whole.warnings[0];
  // Just beyond the tolerance, in both directions: the numbers printed differ.
  for (const double step : {30 * (1 + 2e-9), 30 * (1 - 2e-9)}) {
    const PixelSize oblong = pixel_size(GeoTransform{0, 30, 0, 0, 0, -step});
    ASSERT_EQ(oblong.warnings.size(), 1u);
    EXPECT_EQ(oblong.warnings[0], "pixels are not square (30 x " + number_text(step) +
                                      "); pixel size taken from their width");
    EXPECT_NE(number_text(step), "30");
  }
}

TEST(Import, NonSquarePixelsAndMissingGeotransformAreWarnedAbout) {
  Workspace ws;
  const std::string oblong =
      ws.tiff(GDT_Byte, 1, 1, {{5}}, std::nullopt, GeoTransform{0, 10, 0, 0, 0, -20});
  ASSERT_EQ(ws.import({oblong, "p", "oblong"}), 0);
  EXPECT_EQ(read_file(ws.root / "p/oblong_m2.txt"), "1\n1\n2\n0\n65500\n10\n");
  EXPECT_EQ(ws.err,
            "warning: pixels are not square (10 x 20); pixel size taken from their width\n");

  const std::string plain = ws.tiff(GDT_Byte, 1, 1, {{5}}, std::nullopt, std::nullopt);
  ASSERT_EQ(ws.import({plain, "p", "plain"}), 0);
  EXPECT_EQ(read_file(ws.root / "p/plain_m2.txt"), "1\n1\n2\n0\n65500\n1\n");
  EXPECT_EQ(ws.err, "warning: the raster has no geotransform; pixel size 1 written\n");
}

// A GeoTIFF in WGS 84 with 1/120-degree pixels, whose steps differ in their last bits, as a
// writer that stores them with 15 digits makes them: square, and in degrees.
TEST(Import, PixelsOfAGeotiffInDegreesAreSquareToTheLastBits) {
  Workspace ws;
  const double width = 0.00833333333333333;
  const double height = 1.0 / 120;
  ASSERT_NE(width, height);
  const std::string input = ws.tiff(GDT_Int16, 90, 95, {std::vector<double>(90 * 95, 412)},
                                    std::nullopt, GeoTransform{5, width, 0, 46, 0, -height});
  {
    GDALDatasetUniquePtr dataset(GDALDataset::Open(input.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE));
    OGRSpatialReference wgs84;
    ASSERT_EQ(wgs84.SetWellKnownGeogCS("WGS84"), OGRERR_NONE);
    ASSERT_EQ(dataset->SetSpatialRef(&wgs84), CE_None);
  }
  GDALDatasetUniquePtr written(GDALDataset::Open(input.c_str(), GDAL_OF_RASTER));
  GeoTransform read_back;
  ASSERT_EQ(written->GetGeoTransform(read_back.data()), CE_None);
  ASSERT_NE(std::fabs(read_back[1]), std::fabs(read_back[5]));  // the file keeps them apart
  ASSERT_TRUE(written->GetSpatialRef() && written->GetSpatialRef()->IsGeographic());
  written.reset();

  ASSERT_EQ(ws.import({input, "geo", "n"}), 0) << ws.err;
  EXPECT_EQ(ws.err,
            "warning: pixel size 0.008333333333 rounds to 0, which is no size: 1 written, the "
            "smallest whole size; if the raster is in degrees, reproject it to metres first "
            "(gdalwarp -t_srs)\n");
  EXPECT_EQ(read_file(ws.root / "geo/n_m2.txt"), "90\n95\n2\n0\n65500\n1\n");
  EXPECT_NE(ws.out.find("(pixel size 1)\n"), std::string::npos) << ws.out;

  // Steps a millionth apart are not square, and the warning shows them apart.
  const std::string oblong = ws.tiff(GDT_Int16, 2, 2, {{1, 2, 3, 4}}, std::nullopt,
                                     GeoTransform{5, height, 0, 46, 0, -height * (1 + 1e-6)});
  ASSERT_EQ(ws.import({oblong, "geo", "oblong"}), 0) << ws.err;
  EXPECT_NE(ws.err.find("warning: pixels are not square (0.008333333333 x 0.008333341667)"),
            std::string::npos)
      << ws.err;
}

TEST(Import, ReadsTheChosenBand) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_UInt16, 1, 2, {{1, 2}, {3, 4}});
  ASSERT_EQ(ws.import({"--band", "2", input, "b", "n"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "b/n_m2.raw"), Bytes({3, 0, 4, 0}));
  EXPECT_EQ(ws.import({"--band", "3", input, "b", "n"}), 1);
  EXPECT_NE(ws.err.find("has 2 band(s); band 3 does not exist"), std::string::npos) << ws.err;
}

TEST(Import, CommandLineErrors) {
  Workspace ws;
  EXPECT_EQ(ws.import({"--help"}), 0);
  EXPECT_EQ(ws.out.rfind("Usage: scabrosimeter-import [options] INPUT FOLDER NAME\n", 0), 0u);
  EXPECT_EQ(ws.import({}), 2);
  EXPECT_NE(ws.err.find("missing argument"), std::string::npos);
  EXPECT_EQ(ws.import({"in.tif", "f"}), 2);
  EXPECT_EQ(ws.import({"--bogus", "in.tif", "f", "n"}), 2);
  EXPECT_NE(ws.err.find("unknown option --bogus"), std::string::npos);
  EXPECT_EQ(ws.import({"in.tif", "f", "n", "--unit", "km"}), 2);
  EXPECT_EQ(ws.import({"in.tif", "f", "n", "--band", "0"}), 2);
  EXPECT_EQ(ws.import({"in.tif", "f", "n", "--fill"}), 2);
  EXPECT_EQ(ws.import({"in.tif", "f", "n", "--fill", "1", "--crop-valid"}), 2);
  EXPECT_EQ(ws.import({"in.tif", "f", "two words"}), 2);

  EXPECT_EQ(ws.import({(ws.dir / "absent.tif").string(), "f", "n"}), 1);
  EXPECT_NE(ws.err.find("cannot read " + (ws.dir / "absent.tif").string() + " as a raster"),
            std::string::npos);
  std::ofstream(ws.dir / "text.tif") << "not a raster";
  EXPECT_EQ(ws.import({(ws.dir / "text.tif").string(), "f", "n"}), 1);
  EXPECT_FALSE(fs::exists(ws.root));
}

// The printed command's printf, run by the shell, gives the answers back one a line.
TEST(Import, DialogCommandQuotesShellAndPrintfCharacters) {
  EXPECT_EQ(dialog_command(dialog_answers("it's", "5%", SampleKind::kImage8, -1)),
            "printf 'it'\\''s\\n1\\n5%%\\n0\\n' | scabrosimeter");
  EXPECT_EQ(dialog_command(dialog_answers("-f", "n", SampleKind::kImage8, -1)),
            "printf -- '-f\\n1\\nn\\n0\\n' | scabrosimeter");
#ifndef _WIN32
  Workspace ws;
  const std::vector<std::vector<std::string>> cases = {
      dialog_answers("it's", "5%", SampleKind::kImage8, -1),
      dialog_answers("-x", "--", SampleKind::kDem16, 2),
      dialog_answers("--", "-%d'", SampleKind::kDem32, -1),
  };
  for (const std::vector<std::string>& answers : cases) {
    const std::string command = dialog_command(answers);
    SCOPED_TRACE(command);
    std::string expected;
    for (const std::string& answer : answers)
      expected += answer + "\n";
    std::ofstream(ws.dir / "printf.sh") << command.substr(0, command.find(" | scabrosimeter"));
    const std::string shell = "sh '" + (ws.dir / "printf.sh").string() + "' > '" +
                              (ws.dir / "answers.txt").string() + "' 2>&1";
    EXPECT_EQ(std::system(shell.c_str()), 0);
    EXPECT_EQ(read_file(ws.dir / "answers.txt"), expected);
  }
#endif
}

// After --, every argument is INPUT, FOLDER or NAME, so that names beginning with - can be
// given; they still follow the rule for names.
TEST(Import, DoubleDashEndsTheOptions) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_Byte, 1, 2, {{4, 5}});
  EXPECT_EQ(ws.import({input, "-f", "n"}), 2);
  EXPECT_NE(ws.err.find("unknown option -f"), std::string::npos) << ws.err;

  ASSERT_EQ(ws.import({"--band", "1", "--", input, "-f", "--unit"}), 0) << ws.err;
  EXPECT_EQ(read_bytes(ws.root / "-f/--unit_m2.raw"), Bytes({4, 0, 5, 0}));
  EXPECT_NE(ws.out.find("  raster name:  --unit\n"), std::string::npos) << ws.out;
  EXPECT_NE(ws.out.find("  printf -- '-f\\n0\\n--unit\\n0\\n0\\n0\\n' | scabrosimeter\n"),
            std::string::npos)
      << ws.out;
  ASSERT_EQ(ws.import({input, "--", "f", "--"}), 0) << ws.err;  // only the first -- ends them
  EXPECT_TRUE(fs::is_regular_file(ws.root / "f/--_m2.raw"));

  EXPECT_EQ(ws.import({"--", "--image", input, "f", "n"}), 2);
  EXPECT_NE(ws.err.find("too many arguments"), std::string::npos) << ws.err;
  EXPECT_EQ(ws.import({"--", input, "f", "-a:b"}), 2);
  EXPECT_NE(ws.err.find("NAME '-a:b' cannot be used"), std::string::npos) << ws.err;
  EXPECT_EQ(ws.import({"--", "--fill=nan", "f", "n"}), 1);  // an INPUT that does not exist
  EXPECT_NE(ws.err.find("cannot read --fill=nan as a raster"), std::string::npos) << ws.err;
}

// Runs scabrosimeter itself on an imported DEM with the command the importer prints.
TEST(Import, ScabrosimeterReportsOnAnImportedDem) {
#ifndef SCABROSIMETER_EXE
  GTEST_SKIP() << "no scabrosimeter executable in this build";
#else
  Workspace ws;
  std::vector<double> heights(12, 0);
  heights[1 * 4 + 1] = 8;
  const std::string input = ws.tiff(GDT_Byte, 3, 4, {heights});
  fs::path root = SCABROSIMETER_IMAGES_ROOT;  // scabrosimeter's, seen from its working folder
  if (root.is_relative()) root = ws.dir / root;
  const std::string folder = ws.dir.filename().string();
  std::ostringstream out, err;
  ASSERT_EQ(run({"--images-root", root.string(), input, folder, "bump"}, out, err), 0);

  const std::string printed = out.str();
  const size_t start = printed.find("printf '");
  const size_t end = printed.find(" | scabrosimeter\n", start);
  ASSERT_NE(end, std::string::npos) << printed;
  EXPECT_EQ(printed.substr(start, end - start),
            "printf '" + folder + "\\n0\\nbump\\n0\\n0\\n0\\n'");
  const std::string command = "cd '" + ws.dir.string() + "' && " +
                              printed.substr(start, end - start) +
                              " | '" SCABROSIMETER_EXE "' > console.txt 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << read_file(ws.dir / "console.txt");

  const std::string report = read_file(
      scab::host_path(root.string(), "c:\\images\\" + folder + "\\bump_scabrosimeter.txt"));
  EXPECT_NE(report.find("\n\t\tMin = 0\n\t\tMax = 8"), std::string::npos) << report;
  EXPECT_NE(report.find("Slope = -0.125000 r = -1.000000 r2 = 1.000000"), std::string::npos);
  EXPECT_NE(report.find("RMS Error = 8.246211     Standard Deviation = 4.301163"),
            std::string::npos);
  fs::remove_all(root / folder);
#endif
}

// FOLDER and NAME follow the dialog's rule (scab::is_plain_name), and a refused one is a usage
// error that says the rule and leaves nothing written anywhere, inside the images root or out.
TEST(Import, FolderAndNameFollowTheDialogsRule) {
  Workspace ws;
  const std::string input = ws.tiff(GDT_Byte, 1, 2, {{4, 5}});
  const std::set<std::string> inputs_only = entries(ws.dir);
  std::vector<scab::test::NameCase> cases = scab::test::name_cases();
  // The dialog reads each answer as one word, so the importer refuses blanks on top of the rule.
  for (const char* blank : {"a b", " ", "relief "})
    cases.push_back({blank, false});
  for (const scab::test::NameCase& name_case : cases) {
    for (const bool as_folder : {true, false}) {
      const std::string& name = name_case.name;
      const std::string folder = as_folder ? name : "f";
      const std::string dataset = as_folder ? "n" : name;
      SCOPED_TRACE((as_folder ? "FOLDER " : "NAME ") + ::testing::PrintToString(name));
      if (name.find(' ') == std::string::npos) {
        EXPECT_EQ(scab::is_plain_name(name), name_case.accepted);
      }
      const int status = ws.import({input, folder, dataset});
      if (!name_case.accepted) {
        EXPECT_EQ(status, 2);
        EXPECT_NE(ws.err.find("cannot be used: a folder or file name must be one word, not . or "
                              ".. alone, without \\, / or : and without control characters"),
                  std::string::npos)
            << ws.err;
        EXPECT_EQ(entries(ws.dir), inputs_only);
        continue;
      }
      // Accepted by the rule; the file system may still find a name too long.
      ASSERT_NE(status, 2) << ws.err;
      if (status == 0) {
        EXPECT_TRUE(fs::is_regular_file(ws.root / folder / (dataset + "_m2.raw")));
      } else {
        EXPECT_EQ(status, 1);
        EXPECT_NE(ws.err.find("File name too long"), std::string::npos) << ws.err;
      }
      fs::remove_all(ws.root);
    }
  }
}

// A declared size that cannot be held is refused before anything is allocated or written. The
// VRTs have no data behind them; the message quotes the size GDAL read from them.
TEST(Import, RefusesARasterTooLargeToHold) {
  const struct {
    long long lines;
    long long columns;
    const char* reason;
  } cases[] = {
      {2147483647, 2147483647, ", more cells than this program can hold"},  // past any vector
      {1000000000, 1000000, "; importing it needs about "},                 // 16 PB with every copy
  };
  Workspace ws;
  for (const auto& size : cases) {
    const std::string input = ws.empty_vrt(size.lines, size.columns);
    SCOPED_TRACE(input);
    EXPECT_EQ(ws.import({input, "big", "n"}), 1);
    const std::string declared = input + " is " + std::to_string(size.lines) + " lines x " +
                                 std::to_string(size.columns) + " columns (" +
                                 std::to_string(size.lines * size.columns) + " cells)";
    EXPECT_NE(ws.err.find(declared + size.reason), std::string::npos) << ws.err;
    EXPECT_FALSE(fs::exists(ws.root));
  }
}

// A directory standing at either final name is found before anything is renamed: the earlier
// dataset keeps both its files byte for byte, and no temporary file stays in the folder.
TEST(Import, AFailedImportLeavesTheEarlierDatasetAsItWas) {
  const struct {
    const char* blocked;
    const char* kept;
  } cases[] = {{"n_m2.txt", "n_m2.raw"}, {"n_m2.raw", "n_m2.txt"}};
  for (const auto& names : cases) {
    SCOPED_TRACE(names.blocked);
    Workspace ws;
    const std::string earlier = ws.tiff(GDT_UInt16, 2, 3, {{1, 2, 3, 4, 5, 6}});
    ASSERT_EQ(ws.import({earlier, "d", "n"}), 0) << ws.err;
    const fs::path folder = ws.root / "d";
    const std::string kept = read_file(folder / names.kept);
    fs::remove(folder / names.blocked);
    fs::create_directory(folder / names.blocked);

    const std::string later = ws.tiff(GDT_UInt16, 1, 2, {{7, 8}});
    EXPECT_EQ(ws.import({later, "d", "n"}), 1);
    EXPECT_NE(ws.err.find("cannot write " + (folder / names.blocked).string() +
                          ": a directory stands at that name"),
              std::string::npos)
        << ws.err;
    EXPECT_TRUE(fs::is_directory(folder / names.blocked));
    EXPECT_EQ(read_file(folder / names.kept), kept);
    EXPECT_EQ(entries(folder), std::set<std::string>({"n_m2.raw", "n_m2.txt"}));
  }
}

#ifndef _WIN32
// A write that fails (here past a file size limit) shows when the files are finished: nothing
// is renamed, and the temporary files go.
TEST(Import, AWriteThatFailsLeavesTheEarlierDatasetAsItWas) {
  Workspace ws;
  const std::string earlier = ws.tiff(GDT_UInt16, 1, 3, {{1, 2, 3}});
  ASSERT_EQ(ws.import({earlier, "d", "n"}), 0) << ws.err;
  const fs::path folder = ws.root / "d";
  const std::string raw = read_file(folder / "n_m2.raw");
  const std::string descriptor = read_file(folder / "n_m2.txt");
  const std::string later = ws.tiff(GDT_UInt16, 200, 200, {std::vector<double>(40000, 9)});

  // In a child process: 80000 bytes of raw file against a limit of 64 KiB.
  const auto import_with_a_size_limit = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = 65536;
    setrlimit(RLIMIT_FSIZE, &limit);
    const int status = ws.import({later, "d", "n"});
    std::fputs(ws.err.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(status);
  };
  EXPECT_EXIT(import_with_a_size_limit(), ::testing::ExitedWithCode(1),
              "cannot write .*n_m2\\.raw: File too large");
  EXPECT_EQ(read_file(folder / "n_m2.raw"), raw);
  EXPECT_EQ(read_file(folder / "n_m2.txt"), descriptor);
  EXPECT_EQ(entries(folder), std::set<std::string>({"n_m2.raw", "n_m2.txt"}));
}
#endif

#ifdef __linux__
using scab::test::set_immutable;

// Both new files are written in full; the raw file is put in place, then the descriptor's
// rename fails (the earlier one may not be moved): the raw file is rolled back, and the message
// says which rename failed.
TEST(Import, ARenameThatFailsIsSaidSoAndRolledBack) {
  Workspace ws;
  ASSERT_EQ(ws.import({ws.tiff(GDT_UInt16, 2, 3, {{1, 2, 3, 4, 5, 6}}), "d", "n"}), 0) << ws.err;
  const fs::path folder = ws.root / "d";
  const std::string raw = read_file(folder / "n_m2.raw");
  const std::string descriptor = read_file(folder / "n_m2.txt");
  if (!set_immutable(folder / "n_m2.txt", true)) GTEST_SKIP() << "no immutable flag here";
  const int status = ws.import({ws.tiff(GDT_UInt16, 1, 2, {{7, 8}}), "d", "n"});
  set_immutable(folder / "n_m2.txt", false);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(ws.err, "scabrosimeter-import: cannot rename the new " +
                        (folder / "n_m2.txt").string() + " into place: " + std::strerror(EPERM) +
                        "; the dataset's earlier files, if any, are left as they were\n");
  EXPECT_EQ(read_file(folder / "n_m2.raw"), raw);
  EXPECT_EQ(read_file(folder / "n_m2.txt"), descriptor);
  EXPECT_EQ(entries(folder), std::set<std::string>({"n_m2.raw", "n_m2.txt"}));
}
#endif

TEST(Import, AReimportReplacesBothFiles) {
  Workspace ws;
  ASSERT_EQ(ws.import({ws.tiff(GDT_UInt16, 2, 3, {{1, 2, 3, 4, 5, 6}}), "d", "n"}), 0) << ws.err;
  ASSERT_EQ(ws.import({ws.tiff(GDT_UInt16, 1, 2, {{7, 258}}), "d", "n"}), 0) << ws.err;
  const fs::path folder = ws.root / "d";
  EXPECT_EQ(read_bytes(folder / "n_m2.raw"), Bytes({7, 0, 2, 1}));
  EXPECT_EQ(read_file(folder / "n_m2.txt"), "1\n2\n2\n0\n65500\n30\n");
  EXPECT_EQ(entries(folder), std::set<std::string>({"n_m2.raw", "n_m2.txt"}));
}
