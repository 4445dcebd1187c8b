// The operating-system seam. Everything the tool asks of the file system and of
// other processes goes through a Platform table: the real one for this system
// comes from platform_default(), and tests hand the pipeline a table whose calls
// can fail on purpose. No platform types or headers leak out of this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An open file as the platform knows it; kNoFile when none is open.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// The separator put between a folder and a name ('/' or '\\').
extern const char kPathSeparator;

// A file's times in the platform's own units, carried over unconverted. On
// POSIX: nanoseconds since the epoch, creation unused. On Windows: 100 ns
// intervals since 1601.
struct FileTimes {
  std::int64_t creation = 0;
  std::int64_t access = 0;
  std::int64_t write = 0;
};

// What the tool needs to know of a file or folder.
struct FileInfo {
  std::int64_t length = 0;
  FileTimes times;
  std::uint32_t mode = 0;  // permission bits (POSIX) or attribute bits (Windows)
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  bool read_only = false;  // the owner may not write it: never replaced
  bool is_folder = false;
  std::uint64_t device = 0;  // device and inode (or volume and file index)
  std::uint64_t inode = 0;   // tell one folder from another
};

// One entry of a folder listing.
struct FolderEntry {
  std::string name;
  bool is_folder = false;  // a link to a folder counts as a folder
};

// The calls, each returning 0 on success and -1 on failure unless it says
// otherwise. None of them prints anything.
struct Platform {
  // Lists a folder whole, in the platform's own order, "." and ".." included
  // where the platform reports them.
  int (*list_folder)(const std::string& folder, std::vector<FolderEntry>* entries);
  // Facts about a path, following links.
  int (*path_info)(const std::string& path, FileInfo* info);
  // Opens a regular file for reading without blocking and, where allowed,
  // without touching its access time. Anything else (a folder, FIFO, device) fails.
  int (*open_read)(const std::string& path, FileHandle* file);
  // Facts about an open file.
  int (*file_info)(FileHandle file, FileInfo* info);
  // Reads up to `size` bytes at `offset`, retrying short reads; returns the
  // count read (less only at the end of the file) or -1.
  std::int64_t (*read_at)(FileHandle file, std::int64_t offset, void* buffer, std::int64_t size);
  // Creates a new file for writing, private to its owner, never through a
  // link and never over an existing name.
  int (*create_new)(const std::string& path, FileHandle* file);
  // Opens an existing file (not a link) for reading and writing.
  int (*open_update)(const std::string& path, FileHandle* file);
  // Writes all of `size` bytes at `offset`.
  int (*write_at)(FileHandle file, std::int64_t offset, const void* data, std::int64_t size);
  // Flushes the file's data and metadata to the disk.
  int (*sync)(FileHandle file);
  int (*close)(FileHandle file);
  // Gives an open file the owner, group and permission bits of `like`;
  // an owner the process may not set is left as it is. (Windows: the hidden,
  // system and not-indexed attributes; access comes from the folder.)
  int (*copy_access)(FileHandle file, const FileInfo& like);
  int (*set_times)(FileHandle file, const FileTimes& times);
  // Removes a name (a link itself, never its target).
  int (*remove)(const std::string& path);
  // Puts `from` in the place of `to` in one step: `to` never goes missing.
  int (*rename_over)(const std::string& from, const std::string& to);
  // Makes the folder holding `path` durable (its new and renamed names).
  int (*sync_folder_of)(const std::string& path);
  // Runs a program found along the search path, with these arguments and no
  // command interpreter, and waits for it. Returns its exit status, or -1
  // when it could not be started or did not end normally.
  int (*run_program)(const std::vector<std::string>& argv);
  // Memory for a file's bytes; nullptr when there is none. Freed with release.
  void* (*allocate)(std::size_t size);
  void (*release)(void* memory);
};

// The real platform of this build.
const Platform& platform_default();
