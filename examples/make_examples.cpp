// Writes the bundled example datasets into <folder> (normally examples/images):
//   dem1/relief_m2.raw + relief_m2.txt  a 16-bit DEM in decimetres, 300 lines x 400 columns
//   img1/texture.raw + texture.txt      an 8-bit image, 200 lines x 250 columns
// The output is the same on every run and every host: integer arithmetic only.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A small linear congruential generator, so the noise does not depend on the C++ library.
struct Noise {
  uint32_t state;
  int next(int span) {  // 0 .. span - 1
    state = state * 1664525u + 1013904223u;
    return static_cast<int>((state >> 8) % static_cast<uint32_t>(span));
  }
};

// Value noise on a coarse grid, bilinearly interpolated in integers: smooth relief.
std::vector<int> relief(int lines, int columns, int cell, int amplitude, uint32_t seed) {
  Noise noise{seed};
  const int grid_lines = lines / cell + 2, grid_columns = columns / cell + 2;
  std::vector<int> grid(static_cast<size_t>(grid_lines * grid_columns));
  for (int& g : grid)
    g = noise.next(amplitude);
  std::vector<int> out(static_cast<size_t>(lines * columns));
  for (int i = 0; i < lines; i++) {
    for (int j = 0; j < columns; j++) {
      const int gi = i / cell, gj = j / cell, fi = i % cell, fj = j % cell;
      const long long a = grid[gi * grid_columns + gj], b = grid[gi * grid_columns + gj + 1];
      const long long c = grid[(gi + 1) * grid_columns + gj],
                      d = grid[(gi + 1) * grid_columns + gj + 1];
      const long long top = a * (cell - fj) + b * fj, bottom = c * (cell - fj) + d * fj;
      out[static_cast<size_t>(i * columns + j)] =
          static_cast<int>((top * (cell - fi) + bottom * fi) / (cell * cell));
    }
  }
  return out;
}

bool write_file(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::string descriptor(int lines, int columns, int bytes, int pixel) {
  return std::to_string(lines) + "\n" + std::to_string(columns) + "\n" + std::to_string(bytes) +
         "\n0\n65500\n" + std::to_string(pixel) + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_examples <folder>\n");
    return 2;
  }
  const std::string root = argv[1];
  std::error_code ignored;  // a folder that cannot be made shows up when its files cannot be
  std::filesystem::create_directories(root + "/dem1", ignored);
  std::filesystem::create_directories(root + "/img1", ignored);

  // DEM: heights in decimetres, 1200 m of base, hills of a few hundred metres, a fine texture.
  const int lines = 300, columns = 400;
  const std::vector<int> hills = relief(lines, columns, 60, 3000, 7);
  const std::vector<int> slopes = relief(lines, columns, 12, 400, 11);
  Noise grain{13};
  std::string dem;
  for (size_t k = 0; k < hills.size(); k++) {
    const int height = 12000 + hills[k] + slopes[k] + grain.next(20);
    dem += static_cast<char>(height & 0xff);
    dem += static_cast<char>(height >> 8);
  }

  // Image: a texture of blobs and grain, grey levels 0 to 255.
  const int image_lines = 200, image_columns = 250;
  const std::vector<int> blobs = relief(image_lines, image_columns, 16, 200, 17);
  Noise speckle{19};
  std::string image;
  for (int value : blobs)
    image += static_cast<char>(value + speckle.next(56));

  const bool ok =
      write_file(root + "/dem1/relief_m2.raw", dem) &&
      write_file(root + "/dem1/relief_m2.txt", descriptor(lines, columns, 2, 25)) &&
      write_file(root + "/img1/texture.raw", image) &&
      write_file(root + "/img1/texture.txt", descriptor(image_lines, image_columns, 1, 1));
  if (!ok) {
    std::fprintf(stderr, "make_examples: cannot write into %s\n", root.c_str());
    return 1;
  }
  return 0;
}
