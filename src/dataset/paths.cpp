#include "dataset/paths.h"

#include <cassert>
#include <cstring>

#ifndef SCABROSIMETER_IMAGES_ROOT
#define SCABROSIMETER_IMAGES_ROOT "images"
#endif

namespace scab {

std::string default_images_root() {
#ifdef _WIN32
  return kImagesRoot;
#else
  return SCABROSIMETER_IMAGES_ROOT;
#endif
}

std::string host_path(const std::string& images_root, const std::string& windows_path) {
#ifdef _WIN32
  // The root is c:\images\ itself, and the path is used as it is. Only another folder given
  // in its place (the tests' temporary folders) replaces the root.
  const size_t root_length = std::strlen(kImagesRoot);
  if (images_root.empty() || images_root == kImagesRoot ||
      windows_path.compare(0, root_length, kImagesRoot) != 0) {
    return windows_path;
  }
  std::string root = images_root;
  if (!root.empty() && root.back() != '\\' && root.back() != '/') root += '\\';
  return root + windows_path.substr(root_length);
#else
  std::string path = windows_path;
  const size_t root_length = std::strlen(kImagesRoot);
  if (path.compare(0, root_length, kImagesRoot) == 0) {
    std::string root = images_root;
    if (!root.empty() && root.back() != '/') root += '/';
    path = root + path.substr(root_length);
  }
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
#endif
}

bool is_plain_name(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '/' || c == ':' || byte < 0x20 || byte == 0x7f) return false;
  }
  return true;
}

std::string raster_suffix(bool image, int sample_width_answer) {
  if (image) return "";
  return sample_width_answer == 0 ? "_m2" : "_m4";
}

std::string dataset_folder_path(const std::string& folder) {
  assert(is_plain_name(folder));
  return kImagesRoot + folder + "\\";
}

DatasetPaths dataset_paths(const std::string& folder_path, const std::string& name, bool image,
                           int sample_width_answer) {
  assert(is_plain_name(name));
  const std::string stem = folder_path + name + raster_suffix(image, sample_width_answer);
  return {stem + ".raw", stem + ".txt"};
}

int sample_bytes_named(const std::string& stem) {
  const auto ends_with = [&stem](const char* end) {
    const size_t length = std::strlen(end);
    return stem.size() >= length && stem.compare(stem.size() - length, length, end) == 0;
  };
  if (ends_with(raster_suffix(false, 0).c_str())) return 2;
  if (ends_with(raster_suffix(false, 1).c_str())) return 4;
  return 1;
}

}  // namespace scab
