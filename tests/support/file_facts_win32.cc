#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "support/file_facts.h"

bool path_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
