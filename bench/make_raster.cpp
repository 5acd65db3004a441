// Writes a deterministic synthetic dataset for the benchmarks:
//   make_raster <dem16|dem32|image> <size> <images folder>
// into <images folder>/bench/<kind>_<size>{_m2,_m4,}.raw and its descriptor: a square raster
// of <size> lines and columns. Integer arithmetic only, so the bytes are the same everywhere.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

uint32_t hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

// Smooth value noise: a coarse grid of hashed values, bilinearly interpolated (integers).
int64_t relief(int i, int j, int cell, int amplitude, uint32_t seed) {
  const int gi = i / cell, gj = j / cell, fi = i % cell, fj = j % cell;
  auto grid = [&](int a, int b) {
    return static_cast<int64_t>(hash(seed ^ hash(static_cast<uint32_t>(a) * 7919u + b)) %
                                static_cast<uint32_t>(amplitude));
  };
  const int64_t top = grid(gi, gj) * (cell - fj) + grid(gi, gj + 1) * fj;
  const int64_t bottom = grid(gi + 1, gj) * (cell - fj) + grid(gi + 1, gj + 1) * fj;
  return (top * (cell - fi) + bottom * fi) / (static_cast<int64_t>(cell) * cell);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_raster <dem16|dem32|image> <size> <images folder>\n");
    return 2;
  }
  const std::string kind = argv[1];
  const int size = std::atoi(argv[2]);
  const std::string folder = std::string(argv[3]) + "/bench";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const std::string suffix = kind == "dem16" ? "_m2" : kind == "dem32" ? "_m4" : "";
  const int width = kind == "dem16" ? 2 : kind == "dem32" ? 4 : 1;
  const std::string base = folder + "/" + kind + "_" + std::to_string(size) + suffix;

  FILE* raw = std::fopen((base + ".raw").c_str(), "wb");
  if (!raw || size < 1) return 1;
  std::vector<unsigned char> line(static_cast<size_t>(size) * width);
  for (int i = 0; i < size; i++) {
    for (int j = 0; j < size; j++) {
      const int64_t hills = relief(i, j, 250, 20000, 1) + relief(i, j, 40, 3000, 2);
      const int64_t grain = hash(static_cast<uint32_t>(i) * 65599u + j) % 50;
      int64_t value;
      if (kind == "dem16") {
        value = 5000 + hills + grain;  // decimetres, 500 m to about 2800 m
      } else if (kind == "dem32") {
        value = (hills + grain - 9000) * 100;  // millimetres, with heights below sea level
      } else {
        value = (relief(i, j, 24, 180, 3) + grain + 10) % 256;
      }
      for (int b = 0; b < width; b++) {
        line[static_cast<size_t>(j) * width + b] =
            static_cast<unsigned char>(static_cast<uint64_t>(value) >> (8 * b));
      }
    }
    std::fwrite(line.data(), 1, line.size(), raw);
  }
  if (std::fclose(raw) != 0) return 1;
  FILE* descriptor = std::fopen((base + ".txt").c_str(), "w");
  if (!descriptor) return 1;
  std::fprintf(descriptor, "%d\n%d\n%d\n0\n65500\n10\n", size, size, width);
  return std::fclose(descriptor) == 0 ? 0 : 1;
}
