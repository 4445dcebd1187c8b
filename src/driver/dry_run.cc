#include "driver/dry_run.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include "platform/console.h"
#include "strip/process_image.h"

namespace {

// A name in a folder, the folder told by its device and inode, so that any
// path to the folder leads to the same entry.
struct Entry {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::string name;
  bool operator<(const Entry& other) const {
    return std::tie(device, inode, name) < std::tie(other.device, other.inode, other.name);
  }
};

using FileId = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

// A name the run would have given a new file.
struct Replaced {
  std::string path;   // as it was reached then
  FileInfo facts;     // of what it would lead to now
  bool link = false;  // it was a link: the picture it led to keeps its own name
};

// While a thread makes a replacement afresh, it sees the tree as it is.
thread_local bool seeing_the_tree = false;

struct SeeingTheTree {
  SeeingTheTree() { seeing_the_tree = true; }
  SeeingTheTree(const SeeingTheTree&) = delete;
  SeeingTheTree& operator=(const SeeingTheTree&) = delete;
  ~SeeingTheTree() { seeing_the_tree = false; }
};

std::string::size_type last_separator(const std::string& path) {
  return path.rfind(kPathSeparator);
}

std::string last_name(const std::string& path) {
  const auto at = last_separator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string folder_of(const std::string& path) {
  const auto at = last_separator(path);
  return at == std::string::npos ? std::string(".") : path.substr(0, at);
}

}  // namespace

struct DryRun {
  const Platform& real;
  Platform table;
  std::mutex lock;
  // Under `lock`: the nameless files standing for the ones the run would
  // create, by the name they stand for and the other way round; and the
  // names the run would have replaced, and of those that were no links,
  // the pictures they led to.
  std::map<Entry, FileHandle> made;
  std::map<FileHandle, Entry> made_as;
  std::map<Entry, Replaced> replaced;
  std::map<FileId, Entry> replaced_pictures;

  explicit DryRun(const Platform& platform) : real(platform), table(platform) {}

  // The entry `path` names, in `folder` or, without one, in the folder its
  // text names.
  bool entry_of(FileHandle folder, const std::string& path, Entry* entry) const {
    FileInfo info;
    const int known = folder != kNoFile ? real.file_info(folder, &info)
                                        : real.path_info(kNoFile, folder_of(path), &info);
    if (known != 0) return false;
    *entry = Entry{info.device, info.inode, last_name(path)};
    return true;
  }

  bool anything_replaced() {
    const std::lock_guard<std::mutex> hold(lock);
    return !replaced.empty();
  }

  // The replaced name `entry`, or with `picture` the one that led to that
  // picture, if there is one: its entry in `replaced` and its path.
  bool find_replaced(const Entry* entry, const FileInfo* picture, Entry* found, std::string* path) {
    const std::lock_guard<std::mutex> hold(lock);
    auto at = replaced.end();
    if (entry != nullptr) at = replaced.find(*entry);
    if (picture != nullptr) {
      const auto led = replaced_pictures.find({picture->device, picture->inode});
      if (led != replaced_pictures.end()) at = replaced.find(led->second);
    }
    if (at == replaced.end()) return false;
    *found = at->first;
    *path = at->second.path;
    return true;
  }

  // Makes again, from the picture still at `path`, what the run would have
  // put in its place as `name`, and opens that instead.
  int open_replacement(const Entry& name, const std::string& path, FileHandle* file,
                       FileInfo* info) {
    const SeeingTheTree seeing;
    std::string unshown;
    std::string* const shown = console_divert(&unshown);
    ImageState state;
    HeldFolder held;
    prepare_image(table, last_name(path), folder_of(path), &held, WriteTurn{}, &state);
    sync_prepared_output(table, &state);
    OpenFile* made_file = state.output_ready    ? &state.output
                          : state.rotated_ready ? &state.rotated
                                                : nullptr;
    int status = -1;
    FileInfo facts;
    if (made_file != nullptr && real.copy_access(made_file->handle, state.picture) == 0 &&
        real.set_times(made_file->handle, state.picture.times) == 0 &&
        real.file_info(made_file->handle, &facts) == 0) {
      *file = made_file->handle;
      made_file->handle = kNoFile;
      if (info != nullptr) *info = facts;
      const std::lock_guard<std::mutex> hold(lock);
      replaced[name].facts = facts;
      status = 0;
    }
    discard_prepared(table, &state);
    console_divert(shown);
    return status;
  }

  int create_new(FileHandle folder, const std::string& path, FileHandle* file) {
    // A folder of that name would make the real run fail here.
    FileInfo there;
    if (real.path_info(folder, path, &there) == 0 && there.is_folder) return -1;
    if (real.create_temporary(file) != 0) return -1;
    Entry entry;
    if (!seeing_the_tree && entry_of(folder, path, &entry)) {
      const std::lock_guard<std::mutex> hold(lock);
      made[entry] = *file;
      made_as[*file] = entry;
    }
    return 0;
  }

  int rename_over(FileHandle folder, const std::string& from, const std::string& to) {
    Entry source;
    Entry target;
    if (!entry_of(folder, from, &source) || !entry_of(folder, to, &target)) return -1;
    FileHandle file = kNoFile;
    {
      const std::lock_guard<std::mutex> hold(lock);
      const auto found = made.find(source);
      if (found == made.end()) return -1;
      file = found->second;
      if (replaced.count(target) != 0) {
        return real.file_info(file, &replaced[target].facts);
      }
    }
    // The first replacement of a name: what it led to until now.
    Replaced name{to, {}, false};
    FileInfo picture;
    if (real.file_info(file, &name.facts) != 0 || real.path_info(folder, to, &picture) != 0) {
      return -1;
    }
    FileHandle itself = kNoFile;
    name.link = real.open_quietly(folder, target.name, &itself) != 0;
    if (itself != kNoFile) real.close(itself);
    const std::lock_guard<std::mutex> hold(lock);
    // A link elsewhere leads to this name only when no other name leads to
    // the picture (a hard link keeps the picture where the name now has
    // another file).
    if (!name.link && picture.names <= 1) {
      replaced_pictures[{picture.device, picture.inode}] = target;
    }
    replaced[target] = std::move(name);
    return 0;
  }

  int path_info(FileHandle folder, const std::string& path, FileInfo* info) {
    if (seeing_the_tree || !anything_replaced()) return real.path_info(folder, path, info);
    Entry entry;
    if (entry_of(folder, path, &entry)) {
      const std::lock_guard<std::mutex> hold(lock);
      const auto found = replaced.find(entry);
      if (found != replaced.end()) {
        *info = found->second.facts;
        return 0;
      }
    }
    if (real.path_info(folder, path, info) != 0) return -1;
    const std::lock_guard<std::mutex> hold(lock);
    const auto led = replaced_pictures.find({info->device, info->inode});
    if (led != replaced_pictures.end()) *info = replaced[led->second].facts;
    return 0;
  }

  int open_quietly(FileHandle folder, const std::string& name, FileHandle* file) {
    Entry entry;
    Entry found;
    std::string path;
    if (folder != kNoFile && !seeing_the_tree && anything_replaced() &&
        entry_of(folder, name, &entry) && find_replaced(&entry, nullptr, &found, &path)) {
      return open_replacement(found, path, file, nullptr);
    }
    return real.open_quietly(folder, name, file);
  }

  int open_read(const std::string& path, FileHandle* file, FileInfo* info) {
    if (seeing_the_tree || !anything_replaced()) return real.open_read(path, file, info);
    Entry entry;
    Entry found;
    std::string replaced_as;
    if (entry_of(kNoFile, path, &entry) && find_replaced(&entry, nullptr, &found, &replaced_as)) {
      return open_replacement(found, replaced_as, file, info);
    }
    FileInfo opened;
    const int status = real.open_read(path, file, &opened);
    if (status == 0 && find_replaced(nullptr, &opened, &found, &replaced_as)) {
      real.close(*file);
      *file = kNoFile;
      return open_replacement(found, replaced_as, file, info);
    }
    if (status == 0 && info != nullptr) *info = opened;
    return status;
  }

  int close(FileHandle file) {
    {
      const std::lock_guard<std::mutex> hold(lock);
      const auto found = made_as.find(file);
      if (found != made_as.end()) {
        made.erase(found->second);
        made_as.erase(found);
      }
    }
    return real.close(file);
  }
};

void DryRunEnd::operator()(DryRun* dry) const {
  delete dry;  // NOLINT(cppcoreguidelines-owning-memory): the holder's own deleter
}

std::unique_ptr<DryRun, DryRunEnd> start_dry_run(const Platform& real) {
  std::unique_ptr<DryRun, DryRunEnd> dry(new DryRun(real));
  DryRun* const d = dry.get();
  Platform& table = d->table;
  table.create_new = [d](FileHandle folder, const std::string& path, FileHandle* file) {
    return d->create_new(folder, path, file);
  };
  table.rename_over = [d](FileHandle folder, const std::string& from, const std::string& to) {
    return d->rename_over(folder, from, to);
  };
  table.path_info = [d](FileHandle folder, const std::string& path, FileInfo* info) {
    return d->path_info(folder, path, info);
  };
  table.open_quietly = [d](FileHandle folder, const std::string& name, FileHandle* file) {
    return d->open_quietly(folder, name, file);
  };
  table.open_read = [d](const std::string& path, FileHandle* file, FileInfo* info) {
    return d->open_read(path, file, info);
  };
  table.close = [d](FileHandle file) { return d->close(file); };
  // Nothing the run makes is kept, so nothing needs to reach the disk, and
  // nothing of the tree is removed.
  table.remove = [](FileHandle, const std::string&) { return 0; };
  table.sync = [](FileHandle) { return 0; };
  table.start_writeback = [](FileHandle) {};
  table.sync_folder_of = [](FileHandle, const std::string&) { return 0; };
  return dry;
}

const Platform& dry_run_table(const DryRun& dry) {
  return dry.table;
}
