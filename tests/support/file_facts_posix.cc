#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/file_facts.h"

namespace {

constexpr std::int64_t kNanos = 1000000000;

std::int64_t to_nanos(const timespec& t) {
  return t.tv_sec * kNanos + t.tv_nsec;
}

timespec from_nanos(std::int64_t n) {
  timespec t{};
  t.tv_sec = static_cast<time_t>(n / kNanos);
  t.tv_nsec = static_cast<long>(n % kNanos);
  return t;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const FileStamp& stamp) {
  return out << "{access " << stamp.access_ns << ", write " << stamp.write_ns << ", mode 0"
             << std::oct << stamp.mode << std::dec << "}";
}

FileStamp distinct_stamp() {
  return {1000000000123456789, 1100000000987654321, 0640};
}

FileStamp file_stamp(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  return {to_nanos(st.st_atim), to_nanos(st.st_mtim), st.st_mode & 07777u};
}

void set_file_stamp(const std::string& path, const FileStamp& stamp) {
  chmod(path.c_str(), stamp.mode);
  const timespec times[2] = {from_nanos(stamp.access_ns), from_nanos(stamp.write_ns)};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool path_exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool make_symlink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

std::vector<std::string> folder_names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}
