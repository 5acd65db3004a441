// The output GeoTIFF: made as a pending file beside its final name, written by GDAL, and put in
// place whole by one rename once GDAL has closed it without a failure.
#include <fcntl.h>
#include <gdal_priv.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "dataset/pending_file.h"
#include "map/gdal_errors.h"
#include "map/map_tool.h"

namespace scab::map_tool {

namespace {

std::string write_failure(const std::string& path, int error) {
  const std::string reason =
      error == EISDIR ? "a directory stands at that name" : std::strerror(error);
  return "cannot write " + path + ": " + reason;
}

// The unit of a measure's values: percent for the homogeneity coefficient, none for a
// correlation, else the heights' unit: the band's own where it names one, else metres for a DEM
// (the importer's rule takes heights as metres) and grey levels for an image.
std::string unit_of(map::Measure measure, const InputBand& input) {
  if (measure == map::Measure::kHomogeneity) return "%";
  if (measure == map::Measure::kR) return "";
  const std::string own = input.band().GetUnitType();
  if (!own.empty()) return own;
  return input.image() ? "grey levels" : "m";
}

void describe(GDALDataset& output, const InputBand& input, const std::vector<map::Layer>& layers) {
  double geotransform[6];
  if (input.dataset().GetGeoTransform(geotransform) == CE_None) {
    output.SetGeoTransform(geotransform);
  }
  if (const OGRSpatialReference* crs = input.dataset().GetSpatialRef()) output.SetSpatialRef(crs);
  for (size_t k = 0; k < layers.size(); ++k) {
    GDALRasterBand* band = output.GetRasterBand(static_cast<int>(k) + 1);
    band->SetDescription(map::layer_description(layers[k]).c_str());
    band->SetNoDataValue(std::numeric_limits<double>::quiet_NaN());
    band->SetUnitType(unit_of(layers[k].measure, input).c_str());
  }
}

// ext4 (with its default auto_da_alloc) writes a file out at its next close when it was truncated
// to 0 bytes, as GDAL truncates the temporary file to create its GeoTIFF there: at the tool's
// last close, that is the writing out of the whole map (0.17 s of 256 MB on this project's
// machine), waited for. The flag is spent by any close of the file (ext4_release_file clears it
// on every release): opening and closing the file once, while it holds only GDAL's header,
// spends it on nothing. Elsewhere this is one open and one close; a failure changes nothing.
void spend_truncation_flush(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor >= 0) close(descriptor);
}

}  // namespace

struct MapWriter::Pending {
  std::unique_ptr<PendingFile> file;
  GDALDataset* dataset = nullptr;
  // Closes the dataset, GDAL writing what it still holds. When that fails: ": " and GDAL's
  // message (or nothing), else no value.
  std::optional<std::string> close() {
    if (!dataset) return std::nullopt;
    GdalErrors errors;
    GDALClose(dataset);
    dataset = nullptr;
    if (!errors.failed()) return std::nullopt;
    return errors.last_message();
  }
};

MapWriter::MapWriter(const std::string& path, const InputBand& input,
                     const std::vector<map::Layer>& layers, const std::vector<std::string>& options)
    : pending_(new Pending), columns_(input.columns()), bands_(static_cast<int>(layers.size())) {
  int error = 0;
  pending_->file = PendingFile::create(path, false, error);
  if (!pending_->file) throw MapError(write_failure(path, error));
  // The temporary file exists, empty, and is ours: GDAL writes it anew under the same name.
  error = pending_->file->finish();
  if (error != 0) throw MapError(write_failure(path, error));
  CPLStringList list;
  for (const std::string& option : options)
    list.AddString(option.c_str());
  GdalErrors errors;
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  pending_->dataset = driver->Create(pending_->file->temporary_path().c_str(), input.columns(),
                                     input.lines(), bands_, GDT_Float32, list.List());
  if (!pending_->dataset) throw MapError("cannot write " + path + errors.last_message());
  spend_truncation_flush(pending_->file->temporary_path());
  describe(*pending_->dataset, input, layers);
  int block_columns = 0;
  pending_->dataset->GetRasterBand(1)->GetBlockSize(&block_columns, &block_lines_);
  if (errors.failed()) throw MapError("cannot write " + path + errors.last_message());
}

MapWriter::~MapWriter() {
  pending_->close();  // before the pending file removes what was not committed
}

void MapWriter::write(int first, int count, const float* values) {
  GdalErrors errors;
  const CPLErr result =
      pending_->dataset->RasterIO(GF_Write, 0, first, columns_, count, const_cast<float*>(values),
                                  columns_, count, GDT_Float32, bands_, nullptr, 0, 0, 0, nullptr);
  // Blocks finished are written now, so that GDAL's cache holds little of the output.
  pending_->dataset->FlushCache();
  if (result != CE_None || errors.failed()) {
    throw MapError("cannot write " + pending_->file->final_path() + errors.last_message());
  }
}

void MapWriter::commit() {
  const std::string& path = pending_->file->final_path();
  if (const std::optional<std::string> failure = pending_->close()) {
    throw MapError("cannot write " + path + *failure);
  }
  const int error = pending_->file->commit();
  if (error != 0) throw MapError(write_failure(path, error));
}

}  // namespace scab::map_tool
