// Dataset paths. Every path is built and shown in Windows form, under the root c:\images\;
// it is mapped to the host only when a file is opened.
#pragma once

#include <string>

namespace scab {

// The root folder of every dataset, as the operator sees it.
inline const char kImagesRoot[] = "c:\\images\\";

// The folder that stands for c:\images\ on this host when nothing else is said: on Windows
// c:\images\ itself; elsewhere the build's SCABROSIMETER_IMAGES_ROOT, by default the folder
// "images" in the working directory.
std::string default_images_root();

// Maps a Windows-form path to the host. On Windows the path is used as it is, unless
// `images_root` names another folder than c:\images\, which then takes the root's place.
// Elsewhere the root c:\images\ becomes `images_root` and every other backslash a slash.
std::string host_path(const std::string& images_root, const std::string& windows_path);

// True when `name` can stand as one folder or file name in a dataset path, so that every file
// the program opens stays in the dataset's folder: not empty, not "." or "..", and holding no
// path separator (\ or /), no drive colon (:) and no control character.
bool is_plain_name(const std::string& name);

// The raw raster and descriptor names of a dataset, as the dialog builds them:
// a DEM with sample-width answer 0 gets "_m2", any other answer "_m4", an image nothing.
std::string raster_suffix(bool image, int sample_width_answer);

// The folder c:\images\FOLDER\ of a dataset, in Windows form; `folder` is a plain name.
std::string dataset_folder_path(const std::string& folder);

// A dataset's two files: NAME + raster_suffix + ".raw" and ".txt".
struct DatasetPaths {
  std::string raw;
  std::string descriptor;
};

// The files of the raster `name` (a plain name) in `folder_path` (as dataset_folder_path gives
// it, or any path that ends with a separator).
DatasetPaths dataset_paths(const std::string& folder_path, const std::string& name, bool image,
                           int sample_width_answer);

// The bytes of a sample that a dataset's name says, read back from its raster_suffix: `stem` is
// a file's path or name without ".raw" or ".txt"; "_m2" at its end is 2 (a 16-bit DEM), "_m4"
// 4 (a 32-bit DEM), anything else 1 (an 8-bit image).
int sample_bytes_named(const std::string& stem);

}  // namespace scab
