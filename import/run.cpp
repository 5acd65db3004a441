#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/paths.h"
#include "dataset/units.h"
#include "import/importer.h"

namespace scab::import {

namespace {

// Applies the chosen treatment of missing cells; returns what was done, for the user.
std::string treat_missing_cells(Grid& grid, const Options& options) {
  const long long missing = count_missing(grid);
  const std::string count = std::to_string(missing);
  if (missing == 0) return "none";
  if (options.fill) {
    fill_missing(grid, *options.fill);
    return count + " filled with " + number_text(*options.fill);
  }
  if (options.crop_valid) {
    const Rectangle kept = largest_valid_rectangle(grid);
    if (kept.lines == 0) throw ImportError("every cell is missing; there is nothing to import");
    const std::string before = std::to_string(grid.lines) + " x " + std::to_string(grid.columns);
    grid = crop(grid, kept);
    return count + "; cropped to the largest rectangle without any: lines " +
           std::to_string(kept.top) + " to " + std::to_string(kept.top + kept.lines - 1) +
           ", columns " + std::to_string(kept.left) + " to " +
           std::to_string(kept.left + kept.columns - 1) + " of the " + before + " raster";
  }
  throw ImportError(count + " of " + std::to_string(grid.values.size()) +
                    " cells are missing (NoData or NaN) and are never written as heights; use "
                    "--crop-valid to keep the largest rectangle without any, or --fill VALUE to "
                    "replace them");
}

std::string kind_text(SampleKind kind) {
  switch (kind) {
    case SampleKind::kDem16:
      return "16-bit DEM";
    case SampleKind::kDem32:
      return "32-bit DEM";
    case SampleKind::kImage8:
      break;
  }
  return "8-bit image";
}

// The dialog's answers for the dataset written, one a line, and the command that gives them.
void print_answers(const Options& options, SampleKind kind, const std::string& root,
                   std::ostream& out) {
  const bool image = kind == SampleKind::kImage8;
  const std::vector<std::string> answers =
      dialog_answers(options.folder, options.name, kind, options.unit);
  out << "Answers to the scabrosimeter dialog:\n";
  out << "  folder:       " << answers[0] << "\n";
  out << "  data type:    " << answers[1] << (image ? " (8-bit image)" : " (DEM)") << "\n";
  out << "  raster name:  " << answers[2] << "\n";
  if (!image) {
    out << "  sample width: " << answers[3]
        << (kind == SampleKind::kDem16 ? " (16 bits)" : " (32 bits)") << "\n";
  }
  out << "  result name:  0 (the generic name)\n";
  if (!image) {
    out << "  height unit:  " << answers[5] << " (" << unit_name(std::stoi(answers[5])) << ")\n";
  }
  out << "Run scabrosimeter where c:\\images\\ stands for the folder " << root << ":\n";
  out << "  " << dialog_command(answers) << "\n";
}

void import_dataset(const Options& options, std::ostream& out, std::ostream& err) {
  Band band = read_band(options.input, options.band);
  Grid& grid = band.grid;
  out << "Read band " << options.band << " of " << options.input << ": " << grid.lines
      << " lines x " << grid.columns << " columns\n";
  const std::string missing_cells = treat_missing_cells(grid, options);
  out << "Missing cells: " << missing_cells << "\n";
  const Samples samples = to_samples(grid, options.image, options.unit);
  const PixelSize pixel = pixel_size(band.geotransform);
  for (const std::string& warning : pixel.warnings)
    err << "warning: " << warning << "\n";

  const std::string root =
      options.images_root.empty() ? default_images_root() : options.images_root;
  const DatasetFiles files =
      write_dataset(root, options.folder, options.name, samples, pixel.value);
  const bool image = samples.kind == SampleKind::kImage8;
  if (image) {
    out << "Grey levels written as they are";
  } else if (options.unit < 0) {
    out << "Heights written as they are, taken as metres";
  } else {
    out << "Heights taken as metres, written in " << unit_name(options.unit)
        << " (rounded to nearest)";
  }
  out << ": " << samples.min << " to " << samples.max << "\n";
  out << "Wrote " << files.raw << " (" << kind_text(samples.kind) << ", "
      << bytes_per_sample(samples.kind) << " byte(s) per sample, least significant first)\n";
  out << "Wrote " << files.descriptor << " (pixel size " << pixel.value << ")\n\n";

  print_answers(options, samples.kind, root, out);
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  try {
    options = parse_arguments(args);
  } catch (const UsageError& error) {
    err << "scabrosimeter-import: " << error.what() << "\n"
        << "Try 'scabrosimeter-import --help'.\n";
    return 2;
  }
  if (options.help) {
    out << usage_text();
    return 0;
  }
  try {
    import_dataset(options, out, err);
  } catch (const ImportError& error) {
    err << "scabrosimeter-import: " << error.what() << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    // The size is checked before the raster is read; this is for what that check cannot see.
    err << "scabrosimeter-import: not enough memory for " << options.input << "\n";
    return 1;
  } catch (const std::length_error&) {
    err << "scabrosimeter-import: " << options.input << " is too large for this program\n";
    return 1;
  }
  return 0;
}

}  // namespace scab::import
