// scabrosimeter-map, in-process: the GeoTIFF it writes, the same bits whole, through a VRT of
// tiles and on any number of threads, the importer's rule for heights, its refusals, and an
// output that appears whole or not at all.
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "map/map_tool.h"
#include "map/roughness_map.h"

namespace fs = std::filesystem;
using namespace scab;

namespace {

const double kGeotransform[6] = {500000, 30, 0, 4000000, 0, -30};

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::set<std::string> entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

using Bands = std::vector<std::vector<float>>;

struct Workspace {
  fs::path dir;
  std::string out;
  std::string err;
  std::vector<double> progress;

  Workspace() {
    GDALAllRegister();
    std::random_device random;
    do {
      dir = fs::temp_directory_path() / ("scab_map_" + std::to_string(random()));
    } while (!fs::create_directory(dir));
  }
  ~Workspace() {
    fs::remove_all(dir);
    unsetenv("SCABROSIMETER_THREADS");
  }

  std::string path(const std::string& name) const { return (dir / name).string(); }

  // A GeoTIFF of `values`, line after line, with a geotransform, a CRS and maybe a NoData value.
  std::string tiff(const std::string& name, GDALDataType type, int lines, int columns,
                   std::vector<double> values, std::optional<double> nodata = std::nullopt,
                   const double* geotransform = kGeotransform) {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr dataset(
        driver->Create(path(name).c_str(), columns, lines, 1, type, nullptr));
    dataset->SetGeoTransform(const_cast<double*>(geotransform));
    OGRSpatialReference crs;
    crs.importFromEPSG(32632);
    dataset->SetSpatialRef(&crs);
    GDALRasterBand* band = dataset->GetRasterBand(1);
    if (nodata) band->SetNoDataValue(*nodata);
    EXPECT_EQ(band->RasterIO(GF_Write, 0, 0, columns, lines, values.data(), columns, lines,
                             GDT_Float64, 0, 0),
              CE_None);
    return path(name);
  }

  int map(std::vector<std::string> args) {
    std::ostringstream out_stream, err_stream;
    progress.clear();
    const int status = map_tool::run(args, out_stream, err_stream, &Workspace::record, this);
    out = out_stream.str();
    err = err_stream.str();
    return status;
  }

  static int CPL_STDCALL record(double done, const char*, void* workspace) {
    static_cast<Workspace*>(workspace)->progress.push_back(done);
    return TRUE;
  }
};

Bands read_bands(const std::string& path) {
  GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
  Bands bands;
  if (!dataset) return bands;
  const int lines = dataset->GetRasterYSize(), columns = dataset->GetRasterXSize();
  for (int k = 1; k <= dataset->GetRasterCount(); ++k) {
    std::vector<float> values(static_cast<size_t>(lines) * columns);
    if (dataset->GetRasterBand(k)->RasterIO(GF_Read, 0, 0, columns, lines, values.data(), columns,
                                            lines, GDT_Float32, 0, 0) != CE_None) {
      return {};
    }
    bands.push_back(values);
  }
  return bands;
}

bool same_bits(const Bands& a, const Bands& b) {
  if (a.size() != b.size() || a.empty()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k].size() != b[k].size() ||
        std::memcmp(a[k].data(), b[k].data(), a[k].size() * sizeof(float)) != 0) {
      return false;
    }
  }
  return true;
}

// The engine's map of whole samples, all valid: what the tool must write.
Bands engine_map(const std::vector<int32_t>& samples, int lines, int columns,
                 const std::vector<map::Layer>& layers, int places) {
  map::MapRequest request;
  request.lines = lines;
  request.columns = columns;
  request.layers = layers;
  request.decimal_places = places;
  Bands bands(layers.size(), std::vector<float>(samples.size()));
  std::vector<float*> outputs;
  for (std::vector<float>& band : bands)
    outputs.push_back(band.data());
  const std::vector<uint8_t> valid(samples.size(), 1);
  map::compute_lines(request, {samples.data(), valid.data(), 0, lines}, 0, lines, outputs);
  return bands;
}

std::vector<double> relief(int lines, int columns, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<double> heights;
  for (int i = 0; i < lines; ++i) {
    for (int j = 0; j < columns; ++j)
      heights.push_back(std::round(1000 + 40 * std::sin(i / 7.0) * std::cos(j / 5.0)) +
                        random() % 25);
  }
  return heights;
}

}  // namespace

TEST(MapTool, WritesADescribedFloat32BandPerMeasureAndWindow) {
  Workspace ws;
  const std::vector<double> heights = relief(40, 50, 1);
  const std::string input = ws.tiff("relief.tif", GDT_UInt16, 40, 50, heights);
  ASSERT_EQ(ws.map({"--window", "5,9", "--measure=rms,r", input, ws.path("map.tif")}), 0) << ws.err;
  EXPECT_EQ(ws.out, "");
  EXPECT_EQ(ws.err, "");
  GDALDatasetUniquePtr output(GDALDataset::Open(ws.path("map.tif").c_str(), GDAL_OF_RASTER));
  ASSERT_TRUE(output);
  ASSERT_EQ(output->GetRasterCount(), 4);
  const char* descriptions[] = {"rms w=5", "rms w=9", "r w=5", "r w=9"};
  const char* units[] = {"m", "m", "", ""};  // heights without a unit of their own: metres
  for (int k = 0; k < 4; ++k) {
    GDALRasterBand* band = output->GetRasterBand(k + 1);
    EXPECT_STREQ(band->GetDescription(), descriptions[k]);
    EXPECT_STREQ(band->GetUnitType(), units[k]);
    EXPECT_EQ(band->GetRasterDataType(), GDT_Float32);
    int has_nodata = 0;
    EXPECT_TRUE(std::isnan(band->GetNoDataValue(&has_nodata)));
    EXPECT_TRUE(has_nodata);
  }
  double geotransform[6];
  ASSERT_EQ(output->GetGeoTransform(geotransform), CE_None);
  EXPECT_EQ(std::vector<double>(geotransform, geotransform + 6),
            std::vector<double>(kGeotransform, kGeotransform + 6));
  ASSERT_TRUE(output->GetSpatialRef());
  EXPECT_STREQ(output->GetSpatialRef()->GetAuthorityCode(nullptr), "32632");
  EXPECT_STREQ(output->GetMetadataItem("COMPRESSION", "IMAGE_STRUCTURE"), "DEFLATE");
  int block_columns = 0, block_lines = 0;
  output->GetRasterBand(1)->GetBlockSize(&block_columns, &block_lines);
  EXPECT_EQ(block_columns, 256);  // tiled
  const std::vector<int32_t> samples(heights.begin(), heights.end());
  const std::vector<map::Layer> layers = {{map::Measure::kRms, 5},
                                          {map::Measure::kRms, 9},
                                          {map::Measure::kR, 5},
                                          {map::Measure::kR, 9}};
  EXPECT_TRUE(same_bits(read_bands(ws.path("map.tif")), engine_map(samples, 40, 50, layers, 0)));
  EXPECT_EQ(ws.progress.front(), 0.0);
  EXPECT_EQ(ws.progress.back(), 1.0);
  EXPECT_TRUE(std::is_sorted(ws.progress.begin(), ws.progress.end()));
  EXPECT_EQ(entries(ws.dir), std::set<std::string>({"relief.tif", "map.tif"}));
}

TEST(MapTool, EachBandSaysItsUnit) {
  Workspace ws;
  const std::string input = ws.tiff("feet.tif", GDT_Int16, 12, 12, relief(12, 12, 7));
  GDALDatasetUniquePtr feet(GDALDataset::Open(input.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE));
  feet->GetRasterBand(1)->SetUnitType("ft");
  feet.reset();
  const std::vector<std::string> every = {"--window", "5", "--measure",
                                          "rms,rms-line,rms-column,homogeneity,rms-error,r"};
  auto args = every;
  args.insert(args.end(), {input, ws.path("feet_map.tif")});
  ASSERT_EQ(ws.map(args), 0) << ws.err;
  std::vector<std::string> units;
  GDALDatasetUniquePtr map(GDALDataset::Open(ws.path("feet_map.tif").c_str(), GDAL_OF_RASTER));
  for (int k = 1; k <= map->GetRasterCount(); ++k)
    units.push_back(map->GetRasterBand(k)->GetUnitType());
  EXPECT_EQ(units, std::vector<std::string>({"ft", "ft", "ft", "%", "ft", ""}));
  const std::string grey = ws.tiff("grey.tif", GDT_Byte, 12, 12, relief(12, 12, 7));
  args = {"--image", "--measure", "rms,homogeneity", grey, ws.path("grey_map.tif")};
  ASSERT_EQ(ws.map(args), 0) << ws.err;
  map.reset(GDALDataset::Open(ws.path("grey_map.tif").c_str(), GDAL_OF_RASTER));
  EXPECT_STREQ(map->GetRasterBand(1)->GetUnitType(), "grey levels");
  EXPECT_STREQ(map->GetRasterBand(2)->GetUnitType(), "%");
}

TEST(MapTool, WholeThroughAVrtOfTilesAndOnAnyThreadsTheSameBits) {
  Workspace ws;
  const int lines = 203, columns = 61;
  const std::vector<double> heights = relief(lines, columns, 2);
  const std::string whole = ws.tiff("whole.tif", GDT_Int16, lines, columns, heights);
  // Six tiles of uneven sizes, mosaicked again by a VRT.
  std::vector<std::string> tiles;
  const int line_cuts[] = {0, 77, 150, lines}, column_cuts[] = {0, 30, columns};
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 2; ++b) {
      const int top = line_cuts[a], left = column_cuts[b];
      const int tile_lines = line_cuts[a + 1] - top, tile_columns = column_cuts[b + 1] - left;
      std::vector<double> tile;
      for (int i = top; i < top + tile_lines; ++i) {
        for (int j = left; j < left + tile_columns; ++j)
          tile.push_back(heights[static_cast<size_t>(i) * columns + j]);
      }
      const double at[6] = {kGeotransform[0] + 30.0 * left, 30, 0,
                            kGeotransform[3] - 30.0 * top,  0,  -30};
      tiles.push_back(ws.tiff("tile" + std::to_string(tiles.size()) + ".tif", GDT_Int16, tile_lines,
                              tile_columns, tile, std::nullopt, at));
    }
  }
  std::vector<const char*> names;
  for (const std::string& tile : tiles)
    names.push_back(tile.c_str());
  GDALDatasetH vrt = GDALBuildVRT(ws.path("tiles.vrt").c_str(), static_cast<int>(names.size()),
                                  nullptr, names.data(), nullptr, nullptr);
  ASSERT_TRUE(vrt);
  GDALClose(vrt);
  // Blocks of 16 lines: the map is computed and written in several runs.
  const std::vector<std::string> options = {
      "--window", "5,9,27",       "--measure", "rms,rms-line,rms-column,homogeneity,rms-error,r",
      "--co",     "BLOCKYSIZE=16"};
  auto args = options;
  args.insert(args.end(), {whole, ws.path("whole_map.tif")});
  setenv("SCABROSIMETER_THREADS", "1", 1);
  ASSERT_EQ(ws.map(args), 0) << ws.err;
  const Bands expected = read_bands(ws.path("whole_map.tif"));
  ASSERT_EQ(expected.size(), 18u);
  for (const char* threads : {"1", "2", "5"}) {
    setenv("SCABROSIMETER_THREADS", threads, 1);
    for (const std::string& input : {whole, ws.path("tiles.vrt")}) {
      args = options;
      args.insert(args.end(), {input, ws.path("again.tif")});
      ASSERT_EQ(ws.map(args), 0) << ws.err;
      EXPECT_TRUE(same_bits(read_bands(ws.path("again.tif")), expected))
          << input << " on " << threads << " threads";
    }
  }
}

TEST(MapTool, ReadsHeightsByTheImportersRule) {
  Workspace ws;
  const std::vector<double> heights = {1.234, 2.5,   0.25, 1.75, 3.125, 0.5,  2.0, 1.5, 2.25,
                                       0.125, 1.0,   2.75, 3.5,  0.75,  1.25, 2.0, 0.5, 3.0,
                                       1.5,   2.125, 0.0,  1.0,  2.5,   3.0,  1.75};
  const std::string input = ws.tiff("fractions.tif", GDT_Float32, 5, 5, heights);
  EXPECT_EQ(ws.map({input, ws.path("map.tif")}), 1);
  EXPECT_NE(ws.err.find("heights have fractions (1.233999968 at line 0, column 0)"),
            std::string::npos)
      << ws.err;
  EXPECT_FALSE(fs::exists(ws.path("map.tif")));
  // In millimetres, rounded to nearest: the map stays in metres.
  ASSERT_EQ(ws.map({"--unit", "mm", "--window", "3,5", input, ws.path("map.tif")}), 0) << ws.err;
  std::vector<int32_t> millimetres;
  for (const double height : heights)
    millimetres.push_back(static_cast<int32_t>(std::lround(static_cast<float>(height) * 1000.0)));
  EXPECT_TRUE(same_bits(
      read_bands(ws.path("map.tif")),
      engine_map(millimetres, 5, 5, {{map::Measure::kRms, 3}, {map::Measure::kRms, 5}}, 3)));
  EXPECT_NEAR(read_bands(ws.path("map.tif"))[0][6], 1.019895, 1e-6);  // metres, not millimetres

  // NoData and NaN are missing: windows with one have no value unless --min-valid allows.
  std::vector<double> holes(64, 7);
  holes[9] = -9999;
  holes[50] = std::nan("");
  holes[18] = 8;
  const std::string with_holes = ws.tiff("holes.tif", GDT_Float32, 8, 8, holes, -9999.0);
  ASSERT_EQ(ws.map({with_holes, ws.path("holes_map.tif")}), 0) << ws.err;
  const std::vector<float> strict = read_bands(ws.path("holes_map.tif"))[0];
  EXPECT_TRUE(std::isnan(strict[1 * 8 + 2]));  // its window holds cell 9 (line 1, column 1)
  EXPECT_EQ(strict[4 * 8 + 4], 0.0f);          // no missing cell, no different height
  EXPECT_TRUE(std::isnan(strict[6 * 8 + 2]));  // holds the NaN at line 6, column 2
  ASSERT_EQ(ws.map({"--min-valid", "0.8", with_holes, ws.path("holes_map.tif")}), 0) << ws.err;
  const std::vector<float> lenient = read_bands(ws.path("holes_map.tif"))[0];
  EXPECT_FLOAT_EQ(lenient[1 * 8 + 2], std::sqrt(7.0f) / 8);  // 7, 7 and 8: 8 valid cells
  EXPECT_EQ(lenient[6 * 8 + 2], 0.0f);

  const std::string grey = ws.tiff("grey.tif", GDT_UInt16, 3, 3, {0, 1, 2, 3, 300, 5, 6, 7, 8});
  EXPECT_EQ(ws.map({"--image", grey, ws.path("grey_map.tif")}), 1);
  EXPECT_NE(ws.err.find("image values must be from 0 to 255; found 300"), std::string::npos);
}

// Bands of whole numbers are read as samples directly, without the values as doubles: the same
// map as of the same heights in a Float64 band, NoData marked by NaN there.
TEST(MapTool, WholeBandsOfEveryTypeGiveTheMapOfTheirHeights) {
  Workspace ws;
  const int lines = 23, columns = 17;
  const struct {
    GDALDataType type;
    double nodata;
    double offset;  // heights near the type's range
  } cases[] = {{GDT_Byte, 0, 100},
               {GDT_UInt16, 65535, 60000},
               {GDT_Int16, -32768, -30000},
               {GDT_Int32, -9999, 2000000000}};
  const std::vector<std::string> options = {"--window",          "5,7",         "--measure",
                                            "rms,homogeneity,r", "--min-valid", "0.7"};
  for (const auto& c : cases) {
    std::vector<double> heights = relief(lines, columns, 5);
    for (double& height : heights)
      height = height - 1000 + c.offset;
    std::vector<double> as_floats = heights;
    for (const size_t missing : {0, 40, 41, 200, 390}) {
      heights[missing] = c.nodata;
      as_floats[missing] = std::nan("");
    }
    const std::string typed = ws.tiff("typed.tif", c.type, lines, columns, heights, c.nodata);
    const std::string floats = ws.tiff("floats.tif", GDT_Float64, lines, columns, as_floats);
    for (const std::string& input : {typed, floats}) {
      auto args = options;
      args.insert(args.end(),
                  {input, ws.path(input == typed ? "typed_map.tif" : "floats_map.tif")});
      ASSERT_EQ(ws.map(args), 0) << ws.err;
    }
    const Bands typed_map = read_bands(ws.path("typed_map.tif"));
    EXPECT_TRUE(same_bits(typed_map, read_bands(ws.path("floats_map.tif")))) << c.type;
    EXPECT_TRUE(std::isnan(typed_map[0][1]) && !std::isnan(typed_map[0][3 * columns + 3]));
  }
  // A NoData value that no whole number matches leaves every cell valid.
  const std::vector<double> heights = relief(lines, columns, 6);
  const std::string odd = ws.tiff("odd.tif", GDT_Int16, lines, columns, heights, -0.5);
  const std::string plain = ws.tiff("plain.tif", GDT_Float64, lines, columns, heights);
  ASSERT_EQ(ws.map({odd, ws.path("odd_map.tif")}), 0) << ws.err;
  ASSERT_EQ(ws.map({plain, ws.path("plain_map.tif")}), 0) << ws.err;
  EXPECT_TRUE(same_bits(read_bands(ws.path("odd_map.tif")), read_bands(ws.path("plain_map.tif"))));
  // Values beyond 32 bits are refused, not cut to fit.
  const std::string wide = ws.tiff("wide.tif", GDT_UInt32, 3, 3, std::vector<double>(9, 3e9));
  EXPECT_EQ(ws.map({wide, ws.path("wide_map.tif")}), 1);
  EXPECT_NE(ws.err.find("height 3000000000 does not fit a 32-bit sample"), std::string::npos)
      << ws.err;
}

TEST(MapTool, RefusesWrongCommandLines) {
  Workspace ws;
  const std::string input = ws.tiff("in.tif", GDT_Byte, 9, 12, std::vector<double>(108, 3));
  const std::string output = ws.path("out.tif");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--window", "4", input, output}, "window 4 is even"},
      {{"--window", "1", input, output}, "window 1 is too small"},
      {{"--window", "3,x", input, output}, "--window needs a whole number from 1, not 'x'"},
      {{"--window", "3,,5", input, output}, "--window has an empty item"},
      {{"--window", "3,3", input, output}, "--window gives 3 twice"},
      {{"--window", "11", input, output}, "window 11 is larger than the raster (9 lines"},
      {{"--measure", "rms-error", input, output}, "rms-error needs windows of 5 or more"},
      {{"--measure", "r", "--window", "5,3", input, output}, "r needs windows of 5 or more"},
      {{"--measure", "slope", input, output}, "unknown measure 'slope'"},
      {{"--measure", "rms,rms", input, output}, "--measure gives rms twice"},
      {{"--min-valid", "0", input, output}, "--min-valid needs a fraction above 0"},
      {{"--min-valid", "1.5", input, output}, "--min-valid needs a fraction above 0"},
      {{"--unit", "ft", input, output}, "--unit needs m, dm, cm or mm, not 'ft'"},
      {{"--image", "--unit", "cm", input, output}, "an 8-bit image has no unit"},
      {{"--co", "COMPRESS", input, output}, "--co needs KEY=VALUE, not 'COMPRESS'"},
      {{"--co", "NO_SUCH_OPTION=1", input, output}, "GeoTIFF creation options refused"},
      {{"--co", "COMPRESS=NOPE", input, output}, "GeoTIFF creation options refused"},
      {{"--image=yes", input, output}, "--image takes no value"},
      {{input, output, "--window"}, "--window needs a value"},
      {{input}, "missing argument: INPUT OUTPUT are needed"},
      {{input, output, output}, "too many arguments"},
      {{"--frobnicate", input, output}, "unknown option --frobnicate"},
  };
  for (const auto& wrong : cases) {
    EXPECT_EQ(ws.map(wrong.args), 2) << wrong.message;
    EXPECT_NE(ws.err.find(wrong.message), std::string::npos) << ws.err;
    EXPECT_NE(ws.err.find("Try 'scabrosimeter-map --help'."), std::string::npos);
  }
  setenv("SCABROSIMETER_THREADS", "many", 1);
  EXPECT_EQ(ws.map({input, output}), 2);
  EXPECT_NE(ws.err.find("SCABROSIMETER_THREADS must be a whole number"), std::string::npos);
  unsetenv("SCABROSIMETER_THREADS");
  EXPECT_EQ(entries(ws.dir), std::set<std::string>({"in.tif"}));
  EXPECT_EQ(ws.map({"--help"}), 0);
  EXPECT_NE(ws.out.find("Usage: scabrosimeter-map [options] INPUT OUTPUT"), std::string::npos);
  // The program itself: the same statuses.
  const std::string program = SCABROSIMETER_MAP_EXE;
  EXPECT_EQ(std::system((program + " --window 2 " + input + " " + output + " 2>/dev/null").c_str()),
            2 << 8);
  EXPECT_EQ(std::system((program + " --window 3,5 " + input + " " + output).c_str()), 0);
  EXPECT_EQ(read_bands(output).size(), 2u);
}

TEST(MapTool, AFailedMapLeavesNoFileAndTheEarlierOneAsItWas) {
  Workspace ws;
  const std::string input = ws.tiff("in.tif", GDT_UInt16, 100, 100, relief(100, 100, 3));
  EXPECT_EQ(ws.map({ws.path("missing.tif"), ws.path("map.tif")}), 1);
  EXPECT_NE(ws.err.find("cannot read " + ws.path("missing.tif") + " as a raster"),
            std::string::npos);
  std::ofstream(ws.path("text.tif")) << "not a raster\n";
  EXPECT_EQ(ws.map({ws.path("text.tif"), ws.path("map.tif")}), 1);
  EXPECT_EQ(ws.map({"--band", "2", input, ws.path("map.tif")}), 1);
  EXPECT_NE(ws.err.find("band 2 does not exist"), std::string::npos) << ws.err;
  EXPECT_EQ(ws.map({input, ws.path("no/such/folder/map.tif")}), 1);
  EXPECT_NE(ws.err.find("cannot write " + ws.path("no/such/folder/map.tif")), std::string::npos);
  fs::create_directory(ws.path("map.tif"));
  EXPECT_EQ(ws.map({input, ws.path("map.tif")}), 1);
  EXPECT_NE(ws.err.find("a directory stands at that name"), std::string::npos) << ws.err;
  EXPECT_TRUE(fs::is_empty(ws.path("map.tif")));
  fs::remove(ws.path("map.tif"));
  EXPECT_EQ(entries(ws.dir), std::set<std::string>({"in.tif", "text.tif"}));
#ifndef _WIN32
  // A write that fails (here past a file size limit) leaves the earlier map and no other file.
  ASSERT_EQ(ws.map({"--window", "3", input, ws.path("map.tif")}), 0) << ws.err;
  const std::string earlier = read_file(ws.path("map.tif"));
  const auto map_with_a_size_limit = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = 20000;  // 100 x 100 x 4 x 3 bytes would be 120000
    setrlimit(RLIMIT_FSIZE, &limit);
    const int status =
        ws.map({"--window", "3,5,7", "--co", "COMPRESS=NONE", input, ws.path("map.tif")});
    std::fputs(ws.err.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(status);
  };
  EXPECT_EXIT(map_with_a_size_limit(), ::testing::ExitedWithCode(1), "cannot write .*map\\.tif");
  EXPECT_EQ(read_file(ws.path("map.tif")), earlier);
  EXPECT_EQ(entries(ws.dir), std::set<std::string>({"in.tif", "text.tif", "map.tif"}));
#endif
}
