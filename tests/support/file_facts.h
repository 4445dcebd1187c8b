// Facts about files that tests check: what a replacement must carry over from
// the file it replaces (its times, to the nanosecond, and its permission
// bits), whether a name exists, what a folder holds; and links to make.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct FileStamp {
  std::int64_t access_ns = 0;  // since the epoch
  std::int64_t write_ns = 0;
  std::uint32_t mode = 0;  // permission bits
  bool operator==(const FileStamp&) const = default;
};

std::ostream& operator<<(std::ostream& out, const FileStamp& stamp);

// Times far from now, with every nanosecond digit in use, and mode 0640.
FileStamp distinct_stamp();

// The stamp of `path` (following links); all zero when it cannot be had.
FileStamp file_stamp(const std::string& path);
void set_file_stamp(const std::string& path, const FileStamp& stamp);

// Whether the name exists at all (a dangling link counts). The one call here
// that Windows has too (file_facts_win32.cc).
bool path_exists(const std::string& path);

// Makes `link` a symbolic link to `target`; false when it cannot.
bool make_symlink(const std::string& target, const std::string& link);

// The names in `folder`, sorted, without "." and "..".
std::vector<std::string> folder_names(const std::string& folder);
