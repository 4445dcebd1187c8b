// The calls each platform's backend defines (platform_posix.cc or
// platform_win32.cc, chosen by the build), gathered into the one real table
// by platform_default.cc. Only the platform layer includes this.
#pragma once

#include "platform/platform.h"

namespace backend {

int list_folder(const std::string& folder, std::vector<FolderEntry>* entries);
int path_info(FileHandle folder, const std::string& path, FileInfo* info);
int open_read(const std::string& path, FileHandle* file, FileInfo* info);
int open_folder(const std::string& path, FileHandle* folder);
int open_quietly(FileHandle folder, const std::string& name, FileHandle* file);
bool reads_keep_access_time(FileHandle folder);
int file_info(FileHandle file, FileInfo* info);
std::int64_t read_at(FileHandle file, std::int64_t offset, void* buffer, std::int64_t size);
int create_new(FileHandle folder, const std::string& path, FileHandle* file);
int create_temporary(FileHandle* file);
int write_at(FileHandle file, std::int64_t offset, const void* data, std::int64_t size);
int copy_range(FileHandle from, FileHandle to, std::int64_t offset, std::int64_t size);
// The same through a buffer, with read_at and write_at: for systems, or
// files, that copy nothing inside.
int copy_by_reading(FileHandle from, FileHandle to, std::int64_t offset, std::int64_t size);
int sync_file(FileHandle file);
void start_writeback(FileHandle file);
int close_file(FileHandle file);
int copy_access(FileHandle file, const FileInfo& like);
int set_times(FileHandle file, const FileTimes& times);
int remove_path(FileHandle folder, const std::string& path);
int rename_over(FileHandle folder, const std::string& from, const std::string& to);
int sync_folder_of(FileHandle folder, const std::string& path);
int worker_count();
int raise_open_file_limit();

}  // namespace backend
