// The POSIX file system behind the Platform table.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>

#include "platform/backend.h"
#include "platform/platform.h"

const char kPathSeparator = '/';

namespace {

constexpr std::int64_t kNanos = 1000000000;

std::int64_t to_nanos(const timespec& t) {
  return t.tv_sec * kNanos + t.tv_nsec;
}

timespec from_nanos(std::int64_t n) {
  timespec t{};
  t.tv_sec = static_cast<time_t>(n / kNanos);
  t.tv_nsec = static_cast<long>(n % kNanos);
  if (t.tv_nsec < 0) {  // times before 1970
    t.tv_nsec += kNanos;
    t.tv_sec -= 1;
  }
  return t;
}

int fd_of(FileHandle file) {
  return static_cast<int>(file);
}

void fill_info(const struct stat& st, FileInfo* info) {
  info->length = st.st_size;
  info->times.access = to_nanos(st.st_atim);
  info->times.write = to_nanos(st.st_mtim);
  info->mode = st.st_mode & 07777;
  info->owner = st.st_uid;
  info->group = st.st_gid;
  info->read_only = (st.st_mode & S_IWUSR) == 0;
  info->is_folder = S_ISDIR(st.st_mode);
  info->device = st.st_dev;
  info->inode = st.st_ino;
  info->changed = to_nanos(st.st_ctim);
  info->names = st.st_nlink;
}

// What a failed open says: out of descriptors is not the file's fault.
int open_failure() {
  return errno == EMFILE || errno == ENFILE ? kNoDescriptors : -1;
}

// Whether a listed entry is a folder, following a link to see what it leads to.
bool entry_is_folder(int dir_fd, const char* name, unsigned char type) {
  if (type == DT_DIR) return true;
  if (type != DT_LNK && type != DT_UNKNOWN) return false;
  struct stat st {};
  return fstatat(dir_fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// Reads the entries of the open folder `fd` into `entries` and closes it. A
// listing that fails part way keeps what was read: the walk ends that folder
// quietly after those entries.
void read_entries(int fd, std::vector<FolderEntry>* entries) {
#ifdef __linux__
  // Straight from the kernel: a directory stream would first ask again what
  // the descriptor is.
  alignas(dirent64) char block[32768];
  ssize_t got = 0;
  while ((got = getdents64(fd, block, sizeof block)) > 0) {
    for (ssize_t at = 0; at < got;) {
      // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the kernel's records
      const auto* entry = reinterpret_cast<const dirent64*>(block + at);
      entries->push_back(
          FolderEntry{entry->d_name, entry_is_folder(fd, entry->d_name, entry->d_type)});
      at += entry->d_reclen;
    }
  }
  close(fd);
#else
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return;
  }
  while (const dirent* entry = readdir(dir)) {
    entries->push_back(
        FolderEntry{entry->d_name, entry_is_folder(fd, entry->d_name, entry->d_type)});
  }
  closedir(dir);
#endif
}

// Hands out a descriptor that was opened on a regular file, with its facts;
// closes anything else (a folder, FIFO, socket or device) and fails, as it
// fails for fd -1.
int keep_if_regular(int fd, FileHandle* file, FileInfo* info) {
  if (fd < 0) return open_failure();
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  if (info != nullptr) fill_info(st, info);
  *file = fd;
  return 0;
}

// Where a call on `path` acts: its last name inside the open `folder`, or
// the path itself from the working folder.
struct At {
  int dir;
  const char* name;
};

At at(FileHandle folder, const std::string& path) {
  if (folder == kNoFile) return {AT_FDCWD, path.c_str()};
  const std::size_t slash = path.rfind('/');
  return {fd_of(folder), path.c_str() + (slash == std::string::npos ? 0 : slash + 1)};
}

}  // namespace

namespace backend {

int list_folder(const std::string& folder, std::vector<FolderEntry>* entries) {
  // Listing moves a folder's access time unless asked not to, which only its
  // owner may ask.
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;
  int fd = open(folder.c_str(), kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(folder.c_str(), kFlags);
  if (fd < 0) return -1;
  entries->clear();
  read_entries(fd, entries);
  return 0;
}

int path_info(FileHandle folder, const std::string& path, FileInfo* info) {
  const At where = at(folder, path);
  struct stat st {};
  if (fstatat(where.dir, where.name, &st, 0) != 0) return -1;
  fill_info(st, info);
  return 0;
}

int file_info(FileHandle file, FileInfo* info) {
  struct stat st {};
  if (fstat(fd_of(file), &st) != 0) return -1;
  fill_info(st, info);
  return 0;
}

int open_read(const std::string& path, FileHandle* file, FileInfo* info) {
  // O_NONBLOCK keeps a FIFO from stalling the open; O_NOATIME is refused for
  // files the process does not own, which are then opened without it.
  constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
  int fd = open(path.c_str(), kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), kFlags);
  return keep_if_regular(fd, file, info);
}

int open_folder(const std::string& path, FileHandle* folder) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  *folder = fd;
  return 0;
}

int open_quietly(FileHandle folder, const std::string& name, FileHandle* file) {
  if (folder == kNoFile) return kNotQuiet;
  const int fd = openat(fd_of(folder), name.c_str(),
                        O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOATIME);
  if (fd < 0) return errno == ELOOP || errno == EPERM ? kNotQuiet : open_failure();
  *file = fd;
  return 0;
}

bool reads_keep_access_time(FileHandle folder) {
#ifdef __linux__
  // These drivers keep the access time themselves, in user space or on a
  // server, and move it on every read whatever O_NOATIME asked.
  constexpr std::uint32_t kMovers[] = {
      0x65735546,  // FUSE: exFAT, NTFS, FAT as a desktop mounts them
      0x6969,      // NFS
      0xFF534D42,  // CIFS
      0xFE534D42,  // SMB2
      0x517B,      // SMB
      0x01021997,  // 9P
      0x00C36400,  // Ceph
  };
  struct statfs fs {};
  if (fstatfs(fd_of(folder), &fs) != 0) return false;
  const auto type = static_cast<std::uint32_t>(fs.f_type);
  return std::find(std::begin(kMovers), std::end(kMovers), type) == std::end(kMovers);
#else
  (void)folder;
  return false;
#endif
}

std::int64_t read_at(FileHandle file, std::int64_t offset, void* buffer, std::int64_t size) {
  auto* bytes = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < size) {
    const ssize_t got = pread(fd_of(file), bytes + done, static_cast<size_t>(size - done),
                              static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

int create_new(FileHandle folder, const std::string& path, FileHandle* file) {
  // Reading it back (a turned picture is loaded from the file jpegtran wrote)
  // leaves alone the access time it is given; its creator may ask for that.
  const At where = at(folder, path);
  const int fd =
      openat(where.dir, where.name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOATIME | O_CLOEXEC,
             S_IRUSR | S_IWUSR);
  if (fd < 0) return errno == EEXIST ? kNameTaken : -1;
  *file = fd;
  return 0;
}

int create_temporary(FileHandle* file) {
#ifdef __linux__
  // A memory file has no name in any folder; where the kernel has none, an
  // unnamed file in the temporary folder is as private.
  int fd = memfd_create("trimvane", MFD_CLOEXEC);
  if (fd < 0) fd = open("/tmp", O_RDWR | O_TMPFILE | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
#else
  // No unnamed file here: nothing is passed through a name instead.
  const int fd = -1;
#endif
  if (fd < 0) return -1;
  // A memory file starts open to all; only /proc could lead to it, but
  // nothing of a picture is for others to read.
  if (fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
    close(fd);
    return -1;
  }
  *file = fd;
  return 0;
}

int write_at(FileHandle file, std::int64_t offset, const void* data, std::int64_t size) {
  const auto* bytes = static_cast<const char*>(data);
  std::int64_t done = 0;
  while (done < size) {
    const ssize_t put = pwrite(fd_of(file), bytes + done, static_cast<size_t>(size - done),
                               static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return -1;
    done += put;
  }
  return 0;
}

int sync_file(FileHandle file) {
  return fsync(fd_of(file)) == 0 ? 0 : -1;
}

int copy_range(FileHandle from, FileHandle to, std::int64_t offset, std::int64_t size) {
#ifdef __linux__
  auto in = static_cast<off_t>(offset);
  auto out = static_cast<off_t>(offset);
  std::int64_t left = size;
  while (left > 0) {
    const ssize_t copied =
        copy_file_range(fd_of(from), &in, fd_of(to), &out, static_cast<size_t>(left), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) break;  // what is left goes the plain way, or fails there
    left -= copied;
  }
  return left == 0 ? 0 : copy_by_reading(from, to, static_cast<std::int64_t>(in), left);
#else
  return copy_by_reading(from, to, offset, size);
#endif
}

void start_writeback(FileHandle file) {
#ifdef __linux__
  (void)sync_file_range(fd_of(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
#endif
}

int close_file(FileHandle file) {
  return close(fd_of(file)) == 0 ? 0 : -1;
}

int copy_access(FileHandle file, const FileInfo& like) {
  struct stat st {};
  if (fstat(fd_of(file), &st) != 0) return -1;
  // Only what differs is changed, so a file system that keeps no owners or
  // bits of its own (a camera's card) has nothing to refuse. The owner goes
  // first: changing it may clear set-id bits that fchmod then restores. Only
  // root may give a file away; for anyone else the file is already theirs.
  const bool new_owner = st.st_uid != like.owner || st.st_gid != like.group;
  if (new_owner && fchown(fd_of(file), like.owner, like.group) != 0 && errno != EPERM) return -1;
  if (!new_owner && (st.st_mode & 07777) == like.mode) return 0;
  return fchmod(fd_of(file), like.mode) == 0 ? 0 : -1;
}

int set_times(FileHandle file, const FileTimes& times) {
  const timespec both[2] = {from_nanos(times.access), from_nanos(times.write)};
  return futimens(fd_of(file), both) == 0 ? 0 : -1;
}

int remove_path(FileHandle folder, const std::string& path) {
  const At where = at(folder, path);
  return unlinkat(where.dir, where.name, 0) == 0 ? 0 : -1;
}

int rename_over(FileHandle folder, const std::string& from, const std::string& to) {
  const At old_name = at(folder, from);
  const At new_name = at(folder, to);
  return renameat(old_name.dir, old_name.name, new_name.dir, new_name.name) == 0 ? 0 : -1;
}

int sync_folder_of(FileHandle folder, const std::string& path) {
  if (folder != kNoFile) return fsync(fd_of(folder)) == 0 ? 0 : -1;
  const std::size_t slash = path.rfind('/');
  const std::string parent =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int status = fsync(fd);
  close(fd);
  return status == 0 ? 0 : -1;
}

int raise_open_file_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 256;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  constexpr rlim_t kPlenty = 1 << 20;
  return static_cast<int>(limit.rlim_cur < kPlenty ? limit.rlim_cur : kPlenty);
}

int worker_count() {
  // Enough for two jpegtran at once, or one file written while the next is
  // read; more cores than files in flight gain nothing.
  constexpr long kMost = 8;
  long count = sysconf(_SC_NPROCESSORS_ONLN);
  if (const char* asked = getenv("TRIMVANE_WORKERS")) {
    char* end = nullptr;
    const long value = strtol(asked, &end, 10);
    if (end != asked && *end == '\0') count = value;
  }
  if (count < 1) return 1;
  return static_cast<int>(count < kMost ? count : kMost);
}

}  // namespace backend
