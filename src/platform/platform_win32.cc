// The Windows file system behind the Platform table, through the wide entry
// points: the tool's paths are UTF-8, and reach the system whole in UTF-16
// (wide_names_win32.h), however long.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/backend.h"
#include "platform/filetime_win32.h"
#include "platform/platform.h"
#include "platform/wide_names_win32.h"

const char kPathSeparator = '\\';

namespace {

// The largest piece handed to one ReadFile or WriteFile call.
constexpr std::int64_t kChunk = std::int64_t{1} << 30;

// The attribute bits a replacement takes over from the picture it replaces.
// The archive bit is not among them: a new file is one to back up.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE handle_of(FileHandle file) {
  // FileHandle holds a HANDLE as an integer (file_of below); this only turns it back.
  return reinterpret_cast<HANDLE>(file);  // NOLINT(performance-no-int-to-ptr)
}

FileHandle file_of(HANDLE handle) {
  return reinterpret_cast<FileHandle>(handle);
}

OVERLAPPED at_offset(std::int64_t offset) {
  OVERLAPPED where{};
  const auto bits = static_cast<std::uint64_t>(offset);
  where.Offset = static_cast<DWORD>(bits & 0xFFFFFFFFU);
  where.OffsetHigh = static_cast<DWORD>(bits >> 32);
  return where;
}

int info_of_handle(HANDLE handle, FileInfo* info) {
  BY_HANDLE_FILE_INFORMATION got{};
  if (!GetFileInformationByHandle(handle, &got)) return -1;
  info->length = static_cast<std::int64_t>((static_cast<std::uint64_t>(got.nFileSizeHigh) << 32) |
                                           got.nFileSizeLow);
  info->times.creation = from_filetime(got.ftCreationTime);
  info->times.access = from_filetime(got.ftLastAccessTime);
  info->times.write = from_filetime(got.ftLastWriteTime);
  info->mode = got.dwFileAttributes;
  info->owner = 0;
  info->group = 0;
  info->read_only = (got.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  info->is_folder = (got.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // The volume's serial number and the file's index on it tell one file or
  // folder from another, whatever path or link leads to it.
  info->device = got.dwVolumeSerialNumber;
  info->inode = (static_cast<std::uint64_t>(got.nFileIndexHigh) << 32) | got.nFileIndexLow;
  // A file system that keeps no change time gives zero: the write time stands in.
  FILE_BASIC_INFO basic{};
  const bool known = GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
                     basic.ChangeTime.QuadPart != 0;
  info->changed = known ? basic.ChangeTime.QuadPart : info->times.write;
  return 0;
}

// Keeps a file that was opened as a regular disk file; closes anything else:
// a folder, or a device such as NUL or CON, which has no file information.
// (GetFileType would tell devices apart too, but under Wine it reads the
// file's first bytes, touching its access time before the times are taken.)
int keep_if_regular(HANDLE handle, FileHandle* file, FileInfo* facts) {
  FileInfo info;
  const bool regular = info_of_handle(handle, &info) == 0 && !info.is_folder &&
                       (info.mode & FILE_ATTRIBUTE_DEVICE) == 0;
  if (regular && facts != nullptr) *facts = info;
  if (!regular) {
    CloseHandle(handle);
    return -1;
  }
  *file = file_of(handle);
  return 0;
}

}  // namespace

namespace backend {

int list_folder(const std::string& folder, std::vector<FolderEntry>* entries) {
  // An empty folder text would make the pattern "\*.*", the root of the
  // current drive: a whole drive nobody asked for. It names no folder.
  if (folder.empty()) return -1;
  const std::wstring pattern = wide_path(folder + "\\*.*");
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  entries->clear();
  // A listing that fails part way keeps what was read: the walk ends that
  // folder quietly after those entries.
  do {
    entries->push_back(FolderEntry{utf8_text(found.cFileName),
                                   (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return 0;
}

// Windows holds no folders: every name goes by its path.
int path_info(FileHandle, const std::string& path, FileInfo* info) {
  // Asking only for the attributes neither disturbs nor is refused by those
  // who hold the file open; backup semantics let the same call open a folder.
  const HANDLE handle = CreateFileW(wide_path(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  const int status = info_of_handle(handle, info);
  CloseHandle(handle);
  return status;
}

int file_info(FileHandle file, FileInfo* info) {
  return info_of_handle(handle_of(file), info);
}

int open_read(const std::string& path, FileHandle* file, FileInfo* info) {
  // No sharing: nobody changes the picture while it is read. Opening cannot
  // block on Windows; devices and pipes are turned away once open.
  const HANDLE handle = CreateFileW(wide_path(path).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return keep_if_regular(handle, file, info);
}

// Whether a read moves the access time is the volume's setting: files are
// opened by their paths and their facts taken first.
int open_folder(const std::string&, FileHandle*) {
  return -1;
}

int open_quietly(FileHandle, const std::string&, FileHandle*) {
  return kNotQuiet;
}

bool reads_keep_access_time(FileHandle) {
  return false;
}

std::int64_t read_at(FileHandle file, std::int64_t offset, void* buffer, std::int64_t size) {
  auto* bytes = static_cast<char*>(buffer);
  std::int64_t done = 0;
  while (done < size) {
    OVERLAPPED where = at_offset(offset + done);
    const auto want = static_cast<DWORD>(size - done < kChunk ? size - done : kChunk);
    DWORD got = 0;
    if (!ReadFile(handle_of(file), bytes + done, want, &got, &where)) {
      // Reading at or past the end is the end of the file, not a failure.
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

int create_new(FileHandle, const std::string& path, FileHandle* file) {
  // CREATE_NEW fails on any existing name, a link included, so nothing is
  // ever written through one. The file takes the folder's inherited access.
  // Sharing delete access lets it be moved over the picture while this
  // handle, through which it was written and is read back, stays open.
  const HANDLE handle =
      CreateFileW(wide_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? kNameTaken : -1;
  }
  *file = file_of(handle);
  return 0;
}

int create_temporary(FileHandle* file) {
  // Windows has no file without a name: this one has a fresh name in the
  // temporary folder, but nobody else may open it while this handle is open,
  // and it goes when the last handle to it (a child's copy included) closes,
  // even if this process is killed.
  wchar_t folder_wide[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder_wide);
  if (length == 0 || length > MAX_PATH) return -1;
  const std::string folder = utf8_text(std::wstring(folder_wide, length));
  static unsigned serial = 0;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char name[64];
    (void)std::snprintf(name, sizeof name, "trimvane-%lu-%llu-%u.tmp", GetCurrentProcessId(),
                        static_cast<unsigned long long>(GetTickCount64()), ++serial);
    const std::string path = folder + name;
    const HANDLE handle =
        CreateFileW(wide_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      *file = file_of(handle);
      return 0;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return -1;
  }
  return -1;
}

int write_at(FileHandle file, std::int64_t offset, const void* data, std::int64_t size) {
  const auto* bytes = static_cast<const char*>(data);
  std::int64_t done = 0;
  while (done < size) {
    OVERLAPPED where = at_offset(offset + done);
    const auto want = static_cast<DWORD>(size - done < kChunk ? size - done : kChunk);
    DWORD put = 0;
    if (!WriteFile(handle_of(file), bytes + done, want, &put, &where) || put == 0) return -1;
    done += put;
  }
  return 0;
}

int sync_file(FileHandle file) {
  return FlushFileBuffers(handle_of(file)) ? 0 : -1;
}

int close_file(FileHandle file) {
  return CloseHandle(handle_of(file)) ? 0 : -1;
}

int copy_access(FileHandle file, const FileInfo& like) {
  // Access itself comes from the folder (the file inherits its access control
  // list, as the original did); what is carried over is whether the picture
  // was hidden, a system file or kept out of the index. The read-only bit
  // never is: a read-only picture is not replaced at all.
  FILE_BASIC_INFO basic{};  // zero times: left as they are
  basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE | (like.mode & kCarriedAttributes);
  return SetFileInformationByHandle(handle_of(file), FileBasicInfo, &basic, sizeof basic) ? 0 : -1;
}

int set_times(FileHandle file, const FileTimes& times) {
  const FILETIME creation = to_filetime(times.creation);
  const FILETIME access = to_filetime(times.access);
  const FILETIME write = to_filetime(times.write);
  return SetFileTime(handle_of(file), &creation, &access, &write) ? 0 : -1;
}

int remove_path(FileHandle, const std::string& path) {
  return DeleteFileW(wide_path(path).c_str()) ? 0 : -1;
}

int rename_over(FileHandle, const std::string& from, const std::string& to) {
  // One move replaces the original: there is no moment without the picture.
  // Write-through returns only once the move is on the disk.
  return MoveFileExW(wide_path(from).c_str(), wide_path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : -1;
}

int copy_range(FileHandle from, FileHandle to, std::int64_t offset, std::int64_t size) {
  return copy_by_reading(from, to, offset, size);
}

void start_writeback(FileHandle) {
  // Windows starts no write-back on request; the sync does it all.
}

int raise_open_file_limit() {
  // Handles have no per-process limit worth the name.
  constexpr int kPlenty = 1 << 16;
  return kPlenty;
}

int worker_count() {
  // A child inherits every inheritable handle open at its start, so a
  // jpegtran started for one file could hold another's open.
  return 1;
}

int sync_folder_of(FileHandle, const std::string&) {
  // Nothing left to do: the move was made with MOVEFILE_WRITE_THROUGH, which
  // puts the folder's new entry on the disk before it returns, and Win32 has
  // no flush for a folder's entries that an ordinary user may call.
  return 0;
}

}  // namespace backend
