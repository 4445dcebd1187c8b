// What the Windows tests look at and set on files, straight through Win32
// (never through the Platform table under test), and the stand-in jpegtran.
#pragma once

#include <windows.h>

#include <string>

#include "platform/filetime_win32.h"
#include "platform/platform.h"
#include "support/file_facts.h"
#include "support/run_binary.h"

// Wine keeps no creation time of its own (the Linux file systems under it
// have none to set): a test can check that time only on Windows itself.
inline bool under_wine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Three distinct times in 2001, 2002 and 2003, each with its last 100 ns
// digits in use.
inline FileTimes distinct_times() {
  return {126227808001234567, 126543168007654321, 126858528001111111};
}

inline FileTimes file_times(const std::string& path) {
  FileTimes times;
  const HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return times;
  FILETIME creation{};
  FILETIME access{};
  FILETIME write{};
  if (GetFileTime(file, &creation, &access, &write)) {
    times = {from_filetime(creation), from_filetime(access), from_filetime(write)};
  }
  CloseHandle(file);
  return times;
}

inline bool set_file_times(const std::string& path, const FileTimes& times) {
  const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const FILETIME creation = to_filetime(times.creation);
  const FILETIME access = to_filetime(times.access);
  const FILETIME write = to_filetime(times.write);
  const bool set = SetFileTime(file, &creation, &access, &write) != 0;
  CloseHandle(file);
  return set;
}

// An environment variable of this process, which the programs it starts
// inherit, set for as long as the holder lives and then put back as it was.
struct EnvironmentSetting {
  std::string name;
  std::string saved;
  bool was_set = false;
  EnvironmentSetting(const char* variable, const std::string& value) : name(variable) {
    const DWORD size = GetEnvironmentVariableA(variable, nullptr, 0);
    if (size > 0) {
      saved.assign(size, '\0');
      const DWORD length = GetEnvironmentVariableA(variable, saved.data(), size);
      saved.resize(length < size ? length : 0);
      was_set = true;
    }
    SetEnvironmentVariableA(variable, value.c_str());
  }
  ~EnvironmentSetting() {
    SetEnvironmentVariableA(name.c_str(), was_set ? saved.c_str() : nullptr);
  }
  EnvironmentSetting(const EnvironmentSetting&) = delete;
  EnvironmentSetting& operator=(const EnvironmentSetting&) = delete;
};

// The folder of the real jpegtran.exe, for a PATH that leads there.
inline std::string real_jpegtran_folder() {
  return own_folder() + "\\" + TRIMVANE_REAL_JPEGTRAN_FOLDER;
}

// Puts the stand-in jpegtran, under the name jpegtran.exe, in `folder` (made
// if missing), for a PATH that leads there; returns `folder`.
inline std::string install_fake_jpegtran(const std::string& folder) {
  CreateDirectoryA(folder.c_str(), nullptr);
  CopyFileA((own_folder() + "\\" + TRIMVANE_FAKE_JPEGTRAN).c_str(),
            (folder + "\\jpegtran.exe").c_str(), FALSE);
  return folder;
}
