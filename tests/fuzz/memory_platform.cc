#include "fuzz/memory_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kLargestBlock = std::size_t{64} << 20;

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void fill_info(const MemoryNode& node, FileInfo* info) {
  *info = FileInfo{};
  info->length = static_cast<std::int64_t>(node.data.size());
  info->times = node.times;
  info->mode = node.mode;
  info->owner = node.owner;
  info->group = node.group;
  info->read_only = (node.mode & 0200) == 0;
  info->inode = node.inode;
  info->device = 1;
}

// "jpegtran -rotate A [-trim] -copy all"; `trim` tells whether it was there.
bool jpegtran_arguments_fit(const std::vector<std::string>& argv, bool* trim) {
  *trim = argv.size() == 6 && argv[3] == "-trim";
  if (argv.size() != 5 && !*trim) return false;
  const std::string& angle = argv[2];
  const std::size_t copy = *trim ? 4 : 3;
  return argv[0] == "jpegtran" && argv[1] == "-rotate" &&
         (angle == "90" || angle == "180" || angle == "270") && argv[copy] == "-copy" &&
         argv[copy + 1] == "all";
}

}  // namespace

MemoryFs::Handle* MemoryFs::handle_of(FileHandle file, const char* call) {
  const auto it = handles_.find(file);
  if (it != handles_.end()) return &it->second;
  misuse.push_back(std::string(call) + " on a file not open");
  return nullptr;
}

FileHandle MemoryFs::open_handle(std::shared_ptr<MemoryNode> node, bool writable) {
  const FileHandle file = next_handle_++;
  handles_[file] = Handle{std::move(node), writable, ""};
  ++open_files;
  return file;
}

std::shared_ptr<MemoryNode> MemoryFs::new_node() {
  auto node = std::make_shared<MemoryNode>();
  node->inode = next_inode_++;
  node->times.access = node->times.write = ++clock_;
  return node;
}

std::shared_ptr<MemoryNode> MemoryFs::find(const std::string& path) const {
  const auto it = files.find(path);
  return it == files.end() ? nullptr : it->second;
}

std::shared_ptr<MemoryNode> MemoryFs::add_file(const std::string& path,
                                               const std::vector<std::uint8_t>& data) {
  auto node = new_node();
  node->data = data;
  files[path] = node;
  return node;
}

// jpegtran writes its output into the file open as its standard output.
void MemoryFs::write_through(Handle* output, std::vector<std::uint8_t> bytes) {
  output->node->data = std::move(bytes);
  output->node->times.write = ++clock_;
}

int MemoryFs::run_program(const std::vector<std::string>& argv, FileHandle in,
                          FileHandle out_file) {
  if (transformer == Transformer::kNotStarted) return -1;
  bool trim = false;
  if (!jpegtran_arguments_fit(argv, &trim)) {
    misuse.push_back("jpegtran started with other arguments");
    return 1;
  }
  Handle* input = handle_of(in, "jpegtran's input");
  Handle* output = handle_of(out_file, "jpegtran's output");
  if (input == nullptr || output == nullptr) return 1;
  if (!output->writable) misuse.push_back("jpegtran given an output it cannot write");
  if (trim) return turn_thumbnail(input, output);
  std::vector<std::uint8_t> out = input->node->data;
  switch (transformer) {
    case Transformer::kCopy:
      write_through(output, out);
      return 0;
    case Transformer::kTruncate:
      out.resize(std::min(out.size(), keep));
      write_through(output, out);
      return 0;
    case Transformer::kShift:
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(out.size(), 4)),
                 {0x00, 0x00});
      write_through(output, out);
      return 0;
    case Transformer::kFailAfterWriting:
      write_through(output, out);
      return 1;
    case Transformer::kWriteNothing:
      return 0;
    default:
      return 1;
  }
}

int MemoryFs::turn_thumbnail(Handle* input, Handle* output) {
  std::vector<std::uint8_t> out = input->node->data;
  switch (thumbnail_transformer) {
    case ThumbnailTransformer::kCopy:
      break;
    case ThumbnailTransformer::kGrow:
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(out.size(), 2)),
                 kThumbnailComment, kThumbnailComment + 16);
      break;
    case ThumbnailTransformer::kShrink:
      out.resize(std::min(out.size(), std::max<std::size_t>(3, out.size() / 2)));
      break;
    case ThumbnailTransformer::kWriteNothing:
      return 0;
    default:
      return 1;
  }
  write_through(output, out);
  return 0;
}

MemoryFs::MemoryFs() {
  table.list_folder = [this](const std::string& folder, std::vector<FolderEntry>* entries) {
    if (folders.count(folder) == 0) return -1;
    entries->clear();
    for (const auto& [path, node] : files) {
      if (folder_of(path) == folder) entries->push_back({path.substr(folder.size() + 1), false});
    }
    for (const std::string& path : folders) {
      if (path != folder && folder_of(path) == folder) {
        entries->push_back({path.substr(folder.size() + 1), true});
      }
    }
    return 0;
  };
  table.path_info = [this](FileHandle, const std::string& path, FileInfo* info) {
    if (const auto node = find(path)) {
      fill_info(*node, info);
      return 0;
    }
    if (folders.count(path) == 0) return -1;
    *info = FileInfo{};
    info->is_folder = true;
    info->mode = 0755;
    return 0;
  };
  table.open_read = [this](const std::string& path, FileHandle* file, FileInfo* info) {
    const auto node = find(path);
    if (node == nullptr || !node->regular) return -1;
    if (info != nullptr) fill_info(*node, info);
    *file = open_handle(node, false);
    return 0;
  };
  table.open_folder = [this](const std::string& path, FileHandle* folder) {
    if (folders.count(path) == 0) return -1;
    auto stand_in = std::make_shared<MemoryNode>();
    stand_in->regular = false;
    *folder = open_handle(stand_in, false);
    handles_[*folder].folder = path;
    return 0;
  };
  table.open_quietly = [this](FileHandle folder, const std::string& name, FileHandle* file) {
    if (folder == kNoFile) return kNotQuiet;
    const Handle* in = handle_of(folder, "open_quietly");
    if (in == nullptr || in->folder.empty()) return -1;
    const auto node = find(in->folder + kPathSeparator + name);
    if (node == nullptr) return -1;
    *file = open_handle(node, false);
    return 0;
  };
  table.file_info = [this](FileHandle file, FileInfo* info) {
    const Handle* handle = handle_of(file, "file_info");
    if (handle == nullptr) return -1;
    fill_info(*handle->node, info);
    return 0;
  };
  table.read_at = [this](FileHandle file, std::int64_t offset, void* buffer,
                         std::int64_t size) -> std::int64_t {
    const Handle* handle = handle_of(file, "read_at");
    // Reading a FIFO at an offset fails.
    if (handle == nullptr || !handle->node->regular || offset < 0 || size < 0) return -1;
    const auto& data = handle->node->data;
    const auto length = static_cast<std::int64_t>(data.size());
    const std::int64_t count = offset >= length ? 0 : std::min(size, length - offset);
    if (count > 0) std::memcpy(buffer, data.data() + offset, static_cast<std::size_t>(count));
    return count;
  };
  table.create_new = [this](FileHandle, const std::string& path, FileHandle* file) {
    if (find(path) != nullptr || folders.count(path) != 0) return kNameTaken;
    if (folders.count(folder_of(path)) == 0) return -1;
    auto node = new_node();
    node->mode = 0600;
    files[path] = node;
    *file = open_handle(node, true);
    return 0;
  };
  table.create_temporary = [this](FileHandle* file) {
    *file = open_handle(new_node(), true);
    return 0;
  };
  table.write_at = [this](FileHandle file, std::int64_t offset, const void* data,
                          std::int64_t size) {
    Handle* handle = handle_of(file, "write_at");
    if (handle == nullptr || offset < 0 || size < 0) return -1;
    if (!handle->writable) {
      misuse.push_back("write_at on a file open for reading");
      return -1;
    }
    auto& bytes = handle->node->data;
    const auto end = static_cast<std::size_t>(offset + size);
    if (bytes.size() < end) bytes.resize(end);
    if (size > 0) std::memcpy(bytes.data() + offset, data, static_cast<std::size_t>(size));
    handle->node->times.write = ++clock_;
    return 0;
  };
  table.worker_count = [] { return 1; };
  table.raise_open_file_limit = [] { return 1024; };
  table.reads_keep_access_time = [](FileHandle) { return true; };
  table.copy_range = [this](FileHandle from, FileHandle to, std::int64_t offset,
                            std::int64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    return table.read_at(from, offset, bytes.data(), size) == size
               ? table.write_at(to, offset, bytes.data(), size)
               : -1;
  };
  table.sync = [this](FileHandle file) { return handle_of(file, "sync") == nullptr ? -1 : 0; };
  table.start_writeback = [this](FileHandle file) { (void)handle_of(file, "start_writeback"); };
  table.close = [this](FileHandle file) {
    if (handles_.erase(file) == 0) {
      misuse.push_back("close of a file not open");
      return -1;
    }
    --open_files;
    return 0;
  };
  table.copy_access = [this](FileHandle file, const FileInfo& like) {
    Handle* handle = handle_of(file, "copy_access");
    if (handle == nullptr) return -1;
    handle->node->mode = like.mode;
    handle->node->owner = like.owner;
    handle->node->group = like.group;
    return 0;
  };
  table.set_times = [this](FileHandle file, const FileTimes& times) {
    Handle* handle = handle_of(file, "set_times");
    if (handle == nullptr) return -1;
    handle->node->times = times;
    return 0;
  };
  table.remove = [this](FileHandle, const std::string& path) {
    return files.erase(path) == 1 ? 0 : -1;
  };
  table.rename_over = [this](FileHandle, const std::string& from, const std::string& to) {
    auto node = find(from);
    if (node == nullptr || folders.count(to) != 0 || folders.count(folder_of(to)) == 0) return -1;
    files.erase(from);
    files[to] = std::move(node);
    return 0;
  };
  table.sync_folder_of = [this](FileHandle, const std::string& path) {
    return folders.count(folder_of(path)) != 0 ? 0 : -1;
  };
  table.run_program = [this](const std::vector<std::string>& argv, FileHandle in, FileHandle out) {
    return run_program(argv, in, out);
  };
  table.allocate = [this](std::size_t size) -> void* {
    if (size > kLargestBlock) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) ++live_blocks;
    return block;
  };
  table.release = [this](void* memory) {
    if (memory == nullptr) return;
    --live_blocks;
    std::free(memory);
  };
}
