#include "support/fake_platform.h"

#include <algorithm>

void FakePlatform::note(const PathCall& call) {
  const std::lock_guard<std::mutex> hold(lock);
  log.push_back(call);
}

void FakePlatform::name_handle(FileHandle file, const std::string& path) {
  const std::lock_guard<std::mutex> hold(lock);
  handle_names[file] = path;
}

std::string FakePlatform::name_of(FileHandle file) {
  const std::lock_guard<std::mutex> hold(lock);
  const auto found = handle_names.find(file);
  return found == handle_names.end() ? "" : found->second;
}

bool FakePlatform::fails(Call call, const std::string& path) {
  std::unique_lock<std::mutex> hold(lock);
  const int index = static_cast<int>(call);
  const int made = ++counts[index];
  const bool fail =
      (call == plan.call && (made == plan.nth || (plan.from_then_on && made > plan.nth))) ||
      (fails_for_name && fails_for_name(call, path));
  if (fail) {
    failed[index] = true;
  } else if (before_call) {
    hold.unlock();
    before_call(call, path);
  }
  return fail;
}

bool FakePlatform::touched(const std::string& path) const {
  return std::any_of(log.begin(), log.end(), [&](const PathCall& c) {
    const bool names = c.path == path || c.to == path;
    return names &&
           (c.call == Call::kCreateNew || c.call == Call::kRemove || c.call == Call::kRenameOver);
  });
}

FakePlatform::FakePlatform(FaultPlan fault_plan, const Platform& base_table)
    : base(base_table), plan(fault_plan) {
  table.list_folder = [this](const std::string& folder, std::vector<FolderEntry>* entries) {
    if (fails(Call::kListFolder, folder)) return -1;
    const int status = base.list_folder(folder, entries);
    if (listing != Listing::kAsListed) {
      const bool descending = listing == Listing::kDescending;
      std::sort(entries->begin(), entries->end(), [&](const FolderEntry& a, const FolderEntry& b) {
        return descending ? a.name > b.name : a.name < b.name;
      });
    }
    return status;
  };
  table.path_info = [this](FileHandle folder, const std::string& path, FileInfo* info) {
    return fails(Call::kPathInfo, path) ? -1 : base.path_info(folder, path, info);
  };
  table.open_read = [this](const std::string& path, FileHandle* file, FileInfo* info) {
    note({Call::kOpenRead, path, ""});
    if (fails(Call::kOpenRead, path) || base.open_read(path, file, info) != 0) return -1;
    name_handle(*file, path);
    return 0;
  };
  table.open_folder = [this](const std::string& path, FileHandle* folder) {
    const int status = base.open_folder(path, folder);
    if (status == 0) name_handle(*folder, path);
    return status;
  };
  // Counted with open_read: both are the opening of a picture.
  table.open_quietly = [this](FileHandle folder, const std::string& name, FileHandle* file) {
    const std::string path = name_of(folder) + kPathSeparator + name;
    note({Call::kOpenRead, path, ""});
    if (fails(Call::kOpenRead, path)) return -1;
    const int status = base.open_quietly(folder, name, file);
    if (status == 0) name_handle(*file, path);
    return status;
  };
  table.reads_keep_access_time = [this](FileHandle folder) {
    return access_time_kept && base.reads_keep_access_time(folder);
  };
  table.file_info = [this](FileHandle file, FileInfo* info) {
    return fails(Call::kFileInfo) ? -1 : base.file_info(file, info);
  };
  table.read_at = [this](FileHandle file, std::int64_t offset, void* buffer, std::int64_t size) {
    return fails(Call::kReadAt, name_of(file)) ? std::int64_t{-1}
                                               : base.read_at(file, offset, buffer, size);
  };
  table.create_new = [this](FileHandle folder, const std::string& path, FileHandle* file) {
    note({Call::kCreateNew, path, ""});
    if (fails(Call::kCreateNew, path)) return -1;
    const int status = base.create_new(folder, path, file);
    if (status == 0) name_handle(*file, path);
    return status;
  };
  table.create_temporary = [this](FileHandle* file) {
    if (fails(Call::kCreateTemporary) || base.create_temporary(file) != 0) return -1;
    name_handle(*file, "");
    return 0;
  };
  table.write_at = [this](FileHandle file, std::int64_t offset, const void* data,
                          std::int64_t size) {
    if (!fails(Call::kWriteAt, name_of(file))) return base.write_at(file, offset, data, size);
    // A failing write may have put part of the bytes down, as a full disk does.
    (void)base.write_at(file, offset, data, size / 2);
    return -1;
  };
  // Bytes copied from file to file are written as far as faults go.
  table.copy_range = [this](FileHandle from, FileHandle to, std::int64_t offset,
                            std::int64_t size) {
    return fails(Call::kWriteAt, name_of(to)) ? -1 : base.copy_range(from, to, offset, size);
  };
  table.sync = [this](FileHandle file) {
    return fails(Call::kSync, name_of(file)) ? -1 : base.sync(file);
  };
  table.start_writeback = [this](FileHandle file) { base.start_writeback(file); };
  table.close = [this](FileHandle file) {
    // The file is closed either way, as a failing close still releases it.
    const bool fail = fails(Call::kClose);
    const int status = base.close(file);
    return fail ? -1 : status;
  };
  table.copy_access = [this](FileHandle file, const FileInfo& like) {
    return fails(Call::kCopyAccess) ? -1 : base.copy_access(file, like);
  };
  table.set_times = [this](FileHandle file, const FileTimes& times) {
    return fails(Call::kSetTimes) ? -1 : base.set_times(file, times);
  };
  table.remove = [this](FileHandle folder, const std::string& path) {
    note({Call::kRemove, path, ""});
    return fails(Call::kRemove, path) ? -1 : base.remove(folder, path);
  };
  table.rename_over = [this](FileHandle folder, const std::string& from, const std::string& to) {
    note({Call::kRenameOver, from, to});
    return fails(Call::kRenameOver, from) ? -1 : base.rename_over(folder, from, to);
  };
  table.sync_folder_of = [this](FileHandle folder, const std::string& path) {
    return fails(Call::kSyncFolder, path) ? -1 : base.sync_folder_of(folder, path);
  };
  table.run_program = [this](const std::vector<std::string>& argv, FileHandle in, FileHandle out) {
    const std::string program = argv.empty() ? std::string() : argv[0];
    note({Call::kRunProgram, program, ""});
    return fails(Call::kRunProgram, program) ? -1 : base.run_program(argv, in, out);
  };
  table.worker_count = [this] { return workers; };
  table.raise_open_file_limit = [this] {
    const int most = base.raise_open_file_limit();
    return open_files > 0 && open_files < most ? open_files : most;
  };
  table.allocate = [this](std::size_t size) {
    return fails(Call::kAllocate) ? nullptr : base.allocate(size);
  };
  table.release = [this](void* memory) { base.release(memory); };
}
