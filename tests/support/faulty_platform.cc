#include "support/faulty_platform.h"

namespace {

FaultPlan g_plan;
int g_counts[static_cast<int>(Call::kCount)] = {};
std::vector<std::string> g_log;

const Platform& real() {
  return platform_default();
}

bool fails(Call call) {
  const int made = ++g_counts[static_cast<int>(call)];
  if (call != g_plan.call) return false;
  return made == g_plan.nth || (g_plan.from_then_on && made > g_plan.nth);
}

void log(const std::string& what) {
  g_log.push_back(what);
}

int list_folder(const std::string& folder, std::vector<FolderEntry>* entries) {
  return fails(Call::kListFolder) ? -1 : real().list_folder(folder, entries);
}
int path_info(const std::string& path, FileInfo* info) {
  return fails(Call::kPathInfo) ? -1 : real().path_info(path, info);
}
int open_read(const std::string& path, FileHandle* file) {
  log("open_read " + path);
  return fails(Call::kOpenRead) ? -1 : real().open_read(path, file);
}
int file_info(FileHandle file, FileInfo* info) {
  return fails(Call::kFileInfo) ? -1 : real().file_info(file, info);
}
std::int64_t read_at(FileHandle file, std::int64_t offset, void* buffer, std::int64_t size) {
  return fails(Call::kReadAt) ? -1 : real().read_at(file, offset, buffer, size);
}
int create_new(const std::string& path, FileHandle* file) {
  log("create_new " + path);
  return fails(Call::kCreateNew) ? -1 : real().create_new(path, file);
}
int open_update(const std::string& path, FileHandle* file) {
  log("open_update " + path);
  return fails(Call::kOpenUpdate) ? -1 : real().open_update(path, file);
}
int write_at(FileHandle file, std::int64_t offset, const void* data, std::int64_t size) {
  return fails(Call::kWriteAt) ? -1 : real().write_at(file, offset, data, size);
}
int sync(FileHandle file) {
  return fails(Call::kSync) ? -1 : real().sync(file);
}
int close(FileHandle file) {
  // The file is closed either way, as a failing close still releases it.
  const int status = real().close(file);
  return fails(Call::kClose) ? -1 : status;
}
int copy_access(FileHandle file, const FileInfo& like) {
  return fails(Call::kCopyAccess) ? -1 : real().copy_access(file, like);
}
int set_times(FileHandle file, const FileTimes& times) {
  return fails(Call::kSetTimes) ? -1 : real().set_times(file, times);
}
int remove(const std::string& path) {
  log("remove " + path);
  return fails(Call::kRemove) ? -1 : real().remove(path);
}
int rename_over(const std::string& from, const std::string& to) {
  log("rename_over " + from + " -> " + to);
  return fails(Call::kRenameOver) ? -1 : real().rename_over(from, to);
}
int sync_folder_of(const std::string& path) {
  return fails(Call::kSyncFolder) ? -1 : real().sync_folder_of(path);
}
int run_program(const std::vector<std::string>& argv) {
  log("run_program " + (argv.empty() ? std::string() : argv[0]));
  return fails(Call::kRunProgram) ? -1 : real().run_program(argv);
}
void* allocate(std::size_t size) {
  return fails(Call::kAllocate) ? nullptr : real().allocate(size);
}
void release(void* memory) {
  real().release(memory);
}

}  // namespace

const Platform& faulty_platform(const FaultPlan& plan) {
  static const Platform table = {
      .list_folder = list_folder,
      .path_info = path_info,
      .open_read = open_read,
      .file_info = file_info,
      .read_at = read_at,
      .create_new = create_new,
      .open_update = open_update,
      .write_at = write_at,
      .sync = sync,
      .close = close,
      .copy_access = copy_access,
      .set_times = set_times,
      .remove = remove,
      .rename_over = rename_over,
      .sync_folder_of = sync_folder_of,
      .run_program = run_program,
      .allocate = allocate,
      .release = release,
  };
  g_plan = plan;
  for (int& count : g_counts) count = 0;
  g_log.clear();
  return table;
}

int calls_made(Call call) {
  return g_counts[static_cast<int>(call)];
}

const std::vector<std::string>& path_calls() {
  return g_log;
}
