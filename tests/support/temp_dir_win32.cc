#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/wide_names_win32.h"
#include "support/temp_dir.h"

namespace {

// Empties and removes a folder, read-only and hidden parts included; a link
// to a folder is removed itself, never followed.
void remove_tree(const std::string& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(wide_path(folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = utf8_text(found.cFileName);
      if (name == "." || name == "..") continue;
      const std::wstring path = wide_path(folder + "\\" + name);
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        remove_tree(folder + "\\" + name);
      } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveDirectoryW(path.c_str());
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(wide_path(folder).c_str());
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> made{0};
  char base[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) std::abort();
  std::string folder(base, length);
  if (folder.back() == '\\') folder.pop_back();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = folder + "\\trimvane-test-" +
                                  std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(made++);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
  std::abort();
}

TempDir::~TempDir() {
  remove_tree(path_);
}

void make_folders(const std::string& path) {
  // Each level in turn, whichever separator stands between them; those that
  // exist already (the drive among them) are simply there.
  for (std::size_t at = path.find_first_of("\\/", 1);; at = path.find_first_of("\\/", at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    if (at == std::string::npos) break;
  }
}
