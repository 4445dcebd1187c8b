// The operating-system seam. Everything the tool asks of the file system and of
// other processes goes through a Platform table: the real one for this system
// comes from platform_default(), and tests hand the pipeline a table whose calls
// can fail on purpose. Each call is a std::function, so a test's table can keep
// its state in an object of its own. No platform types or headers leak out of
// this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
  std::uint64_t inode = 0;   // tell one file or folder from another
  // When its bytes or facts last changed (the inode's change time; Windows:
  // its change time): a file written or replaced under the same name shows it.
  std::int64_t changed = 0;
  // How many names lead to it in its file system (hard links); 0 where the
  // platform does not say.
  std::uint64_t names = 0;
};

// One entry of a folder listing.
struct FolderEntry {
  std::string name;
  bool is_folder = false;  // a link to a folder counts as a folder
};

// What create_new returns when the name is already taken.
inline constexpr int kNameTaken = -2;
// What open_quietly returns when it cannot promise that reading changes nothing.
inline constexpr int kNotQuiet = -3;
// What open_read and open_quietly return when the process holds all the open
// files it may: the file itself may be fine.
inline constexpr int kNoDescriptors = -4;

// The calls, each returning 0 on success and -1 on failure unless it says
// otherwise. None of them prints anything.
struct Platform {
  // Lists a folder whole, in the platform's own order, "." and ".." included
  // where the platform reports them.
  std::function<int(const std::string& folder, std::vector<FolderEntry>* entries)> list_folder;
  // The calls below that take a `folder` and a `path` reach the path's last
  // name inside that open folder (open_folder), so that whatever happens to
  // the folder's own path meanwhile, they act where the picture was opened;
  // with kNoFile, or where the platform holds no folders, they go by `path`.

  // Facts about a path, following links.
  std::function<int(FileHandle folder, const std::string& path, FileInfo* info)> path_info;
  // Opens a regular file for reading without blocking and, where allowed,
  // without touching its access time. Anything else (a folder, FIFO, device)
  // fails. `info`, unless nullptr, gets the file's facts as opened, before
  // anything has read it.
  std::function<int(const std::string& path, FileHandle* file, FileInfo* info)> open_read;
  // Opens a folder so that files in it can be opened by their names alone
  // (open_quietly); closed with `close`. Fails where the platform cannot.
  std::function<int(const std::string& path, FileHandle* folder)> open_folder;
  // Opens what `name` holds in `folder` for reading, without blocking, so
  // that reading it changes none of its facts: never through a link, and
  // with its access time kept. Its facts are not taken, and it may be a
  // folder or a FIFO, whose reading fails. kNotQuiet for a link, where the
  // access time would move (a file of another owner), and for no folder
  // (kNoFile): open_read is the way then.
  std::function<int(FileHandle folder, const std::string& name, FileHandle* file)> open_quietly;
  // Whether reading a file of this open folder leaves its access time alone
  // when open_quietly promised so: false on file systems whose driver moves
  // it whatever the kernel was told (FUSE, network shares), where a file's
  // facts must be taken before its first read.
  std::function<bool(FileHandle folder)> reads_keep_access_time;
  // Facts about an open file.
  std::function<int(FileHandle file, FileInfo* info)> file_info;
  // Reads up to `size` bytes at `offset`, retrying short reads; returns the
  // count read (less only at the end of the file) or -1.
  std::function<std::int64_t(FileHandle file, std::int64_t offset, void* buffer, std::int64_t size)>
      read_at;
  // Creates a new file for reading and writing, private to its owner, never
  // through a link and never over an existing name; reading it does not
  // touch its access time where the system allows. (Windows: others may
  // rename or delete it while it is open, so it can be moved into place.)
  // kNameTaken when something of that name is already there.
  std::function<int(FileHandle folder, const std::string& path, FileHandle* file)> create_new;
  // Creates a file for reading and writing that no name leads to: nobody
  // else can reach it, and it is gone once closed. For passing bytes to and
  // from another program. (Linux: a memory file, else an unnamed file in the
  // temporary folder; Windows: a file in the temporary folder that nobody
  // else may open and that is deleted on closing.)
  std::function<int(FileHandle* file)> create_temporary;
  // Writes all of `size` bytes at `offset`.
  std::function<int(FileHandle file, std::int64_t offset, const void* data, std::int64_t size)>
      write_at;
  // Copies `size` bytes at `offset` of `from` to the same offset of `to`,
  // inside the system where it can (no pass through this process's memory).
  std::function<int(FileHandle from, FileHandle to, std::int64_t offset, std::int64_t size)>
      copy_range;
  // Flushes the file's data and metadata to the disk.
  std::function<int(FileHandle file)> sync;
  // Starts writing the file's data out without waiting for it, so that a
  // later sync finds little left to do. A hint: nothing to report.
  std::function<void(FileHandle file)> start_writeback;
  std::function<int(FileHandle file)> close;
  // Gives an open file the owner, group and permission bits of `like`;
  // an owner the process may not set is left as it is. (Windows: the hidden,
  // system and not-indexed attributes; access comes from the folder.)
  std::function<int(FileHandle file, const FileInfo& like)> copy_access;
  std::function<int(FileHandle file, const FileTimes& times)> set_times;
  // Removes a name (a link itself, never its target).
  std::function<int(FileHandle folder, const std::string& path)> remove;
  // Puts `from` in the place of `to`, both in the same folder, in one step:
  // `to` never goes missing.
  std::function<int(FileHandle folder, const std::string& from, const std::string& to)> rename_over;
  // Makes the folder holding `path` durable (its new and renamed names).
  std::function<int(FileHandle folder, const std::string& path)> sync_folder_of;
  // Runs a program found along the search path, with these arguments and no
  // command interpreter, reading `input` from its start as its standard input
  // and writing its standard output into `output`; its standard error is this
  // process's. Waits for it. Returns its exit status, or -1 when it could not
  // be started or did not end normally.
  std::function<int(const std::vector<std::string>& argv, FileHandle input, FileHandle output)>
      run_program;
  // How many files to work on at a time: the cores online, or what the
  // TRIMVANE_WORKERS environment variable asks for (1: one after another).
  // Always 1 where a program started for one file could inherit another's
  // open files (Windows).
  std::function<int()> worker_count;
  // Raises the number of files this process may hold open to the most it is
  // allowed, and returns that number.
  std::function<int()> raise_open_file_limit;
  // Memory for a file's bytes; nullptr when there is none. Freed with release.
  std::function<void*(std::size_t size)> allocate;
  std::function<void(void* memory)> release;
};

// The real platform of this build.
const Platform& platform_default();
