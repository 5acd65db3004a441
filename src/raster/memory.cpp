#include "raster/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "raster/raw_raster.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace scab {
namespace {

uint64_t memory_ceiling = 0;

// The address space this process may still take, or 0 when it has no limit (or none can be
// told).
uint64_t address_space_left() {
#ifdef _WIN32
  return 0;
#else
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
  uint64_t used = 0;
  if (FILE* statm = fopen("/proc/self/statm", "r")) {
    unsigned long long pages = 0;
    if (fscanf(statm, "%llu", &pages) == 1)
      used = pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    fclose(statm);
  }
  const uint64_t total = static_cast<uint64_t>(limit.rlim_cur);
  return total > used ? total - used : 1;
#endif
}

// The first number in the file at `path`: false when there is none; `unlimited` when the file
// says "max" instead (cgroup v2).
bool read_number(const std::string& path, uint64_t& value, bool& unlimited) {
  FILE* file = fopen(path.c_str(), "r");
  if (!file) return false;
  char word[32] = "";
  const bool read = fscanf(file, "%31s", word) == 1;
  fclose(file);
  unlimited = read && std::strcmp(word, "max") == 0;
  char* end = nullptr;
  value = read ? std::strtoull(word, &end, 10) : 0;
  return unlimited || (read && end != word && *end == '\0');
}

// The value of `key` in a memory.stat file, or 0.
uint64_t stat_value(const std::string& path, const char* key) {
  FILE* file = fopen(path.c_str(), "r");
  if (!file) return 0;
  char name[64];
  unsigned long long value = 0, found = 0;
  while (fscanf(file, "%63s %llu", name, &value) == 2) {
    if (std::strcmp(name, key) == 0) found = value;
  }
  fclose(file);
  return found;
}

// Where a control group hierarchy keeps its memory figures.
struct MemoryFiles {
  std::string base;  // the hierarchy's folder; the group's is base + its path
  const char* limit;
  const char* usage;
  const char* inactive;  // the key of the group's inactive file pages in memory.stat
};

// The memory hierarchy of this process (cgroup v1's memory controller, else v2's single
// hierarchy) and its group's path in it (without a final '/'); false when it has none.
bool find_memory_group(const std::string& root, MemoryFiles& files, std::string& path) {
  FILE* groups = fopen((root + "/proc/self/cgroup").c_str(), "r");
  if (!groups) return false;
  char line[4096];
  bool found = false;
  while (fgets(line, sizeof line, groups)) {
    // "ID:CONTROLLERS:PATH"; v2's line is "0::PATH".
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const size_t first = text.find(':'), second = text.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = "," + text.substr(first + 1, second - first - 1) + ",";
    path = text.substr(second + 1);
    if (controllers.find(",memory,") != std::string::npos) {
      files = {root + "/sys/fs/cgroup/memory", "memory.limit_in_bytes", "memory.usage_in_bytes",
               "total_inactive_file"};
      found = true;
      break;
    }
    if (controllers == ",," && text.compare(0, first, "0") == 0) {
      files = {root + "/sys/fs/cgroup", "memory.max", "memory.current", "inactive_file"};
      found = true;  // unless a v1 memory line follows
    }
  }
  fclose(groups);
  while (!path.empty() && path.back() == '/')
    path.pop_back();
  return found;
}

// What one group leaves: its limit less its use, 0 when it sets no limit.
uint64_t group_memory_left(const MemoryFiles& files, const std::string& folder) {
  uint64_t limit = 0, usage = 0;
  bool unlimited = false;
  if (!read_number(folder + "/" + files.limit, limit, unlimited) || unlimited) return 0;
  if (!read_number(folder + "/" + files.usage, usage, unlimited)) usage = 0;
  const uint64_t inactive = stat_value(folder + "/memory.stat", files.inactive);
  const uint64_t used = usage > inactive ? usage - inactive : 0;
  return limit > used ? limit - used : 1;
}

}  // namespace

uint64_t control_group_memory_left(const std::string& root) {
  // Where there is no /proc/self/cgroup (Windows, say), nothing is found.
  MemoryFiles files;
  std::string path;
  if (!find_memory_group(root, files, path)) return 0;
  // From the group up to the hierarchy's top: a group's path in /proc may also lie above the
  // folder a container sees as its top, whose own group is then the top itself.
  uint64_t least = 0;
  for (;;) {
    const uint64_t left = group_memory_left(files, files.base + path);
    if (left != 0 && (least == 0 || left < least)) least = left;
    if (path.empty()) break;
    const size_t slash = path.find_last_of('/');
    path.erase(slash == std::string::npos ? 0 : slash);
  }
  return least;
}

uint64_t physical_memory_bytes() {
#ifdef _WIN32
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
#else
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
#endif
}

uint64_t bytes_needed(int line_count, int column_count, int width) {
  if (line_count < 1 || column_count < 1) return 0;
  const uint64_t lines = static_cast<uint64_t>(line_count);
  const uint64_t columns = static_cast<uint64_t>(column_count);
  // Each pass holds a few lines of heights and sums (the profile pass six, the RMS error pass
  // three and three of its interior cells: sixteen in all leaves room); the first reading of
  // the file and the two readers of the passes each hold a block of it.
  return columns * 16 * sizeof(double) + 3 * RawRaster::bytes_held_per_reader(column_count, width) +
         lines * (2 * sizeof(double) + kTableRowBytes);
}

uint64_t usable_memory_bytes() {
  uint64_t usable = physical_memory_bytes();
  for (const uint64_t bound :
       {memory_ceiling, address_space_left(), control_group_memory_left("")}) {
    if (bound != 0 && (usable == 0 || bound < usable)) usable = bound;
  }
  return usable;
}

void set_memory_ceiling(uint64_t bytes) {
  memory_ceiling = bytes;
}

}  // namespace scab
