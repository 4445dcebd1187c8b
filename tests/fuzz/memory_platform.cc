#include "fuzz/memory_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kLargestBlock = std::size_t{64} << 20;

struct Handle {
  std::shared_ptr<MemoryNode> node;
  bool writable = false;
};

MemoryFs g_fs;
std::map<FileHandle, Handle> g_handles;
FileHandle g_next_handle = 3;
std::uint64_t g_next_inode = 1;

bool fails(Call call) {
  const int index = static_cast<int>(call);
  const int made = ++g_fs.calls[index];
  const bool fail =
      call == g_fs.failing && (made == g_fs.nth || (g_fs.from_then_on && made > g_fs.nth));
  if (fail) g_fs.failed[index] = true;
  return fail;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

Handle* handle_of(FileHandle file, const char* call) {
  const auto it = g_handles.find(file);
  if (it != g_handles.end()) return &it->second;
  g_fs.misuse.push_back(std::string(call) + " on a file not open");
  return nullptr;
}

FileHandle open_handle(std::shared_ptr<MemoryNode> node, bool writable) {
  const FileHandle file = g_next_handle++;
  g_handles[file] = Handle{std::move(node), writable};
  ++g_fs.open_files;
  return file;
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

std::shared_ptr<MemoryNode> new_node() {
  auto node = std::make_shared<MemoryNode>();
  node->inode = g_next_inode++;
  node->times.access = node->times.write = ++g_fs.clock;
  return node;
}

std::shared_ptr<MemoryNode> find(const std::string& path) {
  const auto it = g_fs.files.find(path);
  return it == g_fs.files.end() ? nullptr : it->second;
}

int list_folder(const std::string& folder, std::vector<FolderEntry>* entries) {
  if (fails(Call::kListFolder) || g_fs.folders.count(folder) == 0) return -1;
  entries->clear();
  for (const auto& [path, node] : g_fs.files) {
    if (folder_of(path) == folder) entries->push_back({path.substr(folder.size() + 1), false});
  }
  for (const std::string& path : g_fs.folders) {
    if (path != folder && folder_of(path) == folder) {
      entries->push_back({path.substr(folder.size() + 1), true});
    }
  }
  return 0;
}

int path_info(const std::string& path, FileInfo* info) {
  if (fails(Call::kPathInfo)) return -1;
  if (const auto node = find(path)) {
    fill_info(*node, info);
    return 0;
  }
  if (g_fs.folders.count(path) == 0) return -1;
  *info = FileInfo{};
  info->is_folder = true;
  info->mode = 0755;
  return 0;
}

int open_read(const std::string& path, FileHandle* file) {
  if (fails(Call::kOpenRead)) return -1;
  const auto node = find(path);
  if (node == nullptr || !node->regular) return -1;
  *file = open_handle(node, false);
  return 0;
}

int file_info(FileHandle file, FileInfo* info) {
  if (fails(Call::kFileInfo)) return -1;
  const Handle* handle = handle_of(file, "file_info");
  if (handle == nullptr) return -1;
  fill_info(*handle->node, info);
  return 0;
}

std::int64_t read_at(FileHandle file, std::int64_t offset, void* buffer, std::int64_t size) {
  if (fails(Call::kReadAt)) return -1;
  const Handle* handle = handle_of(file, "read_at");
  if (handle == nullptr || offset < 0 || size < 0) return -1;
  const auto& data = handle->node->data;
  const auto length = static_cast<std::int64_t>(data.size());
  const std::int64_t count = offset >= length ? 0 : std::min(size, length - offset);
  if (count > 0) std::memcpy(buffer, data.data() + offset, static_cast<std::size_t>(count));
  return count;
}

int create_new(const std::string& path, FileHandle* file) {
  g_fs.touched.insert(path);
  if (fails(Call::kCreateNew)) return -1;
  if (find(path) != nullptr || g_fs.folders.count(path) != 0 ||
      g_fs.folders.count(folder_of(path)) == 0) {
    return -1;
  }
  auto node = new_node();
  node->mode = 0600;
  g_fs.files[path] = node;
  *file = open_handle(node, true);
  return 0;
}

int write_at(FileHandle file, std::int64_t offset, const void* data, std::int64_t size) {
  const bool fail = fails(Call::kWriteAt);
  Handle* handle = handle_of(file, "write_at");
  if (handle == nullptr || offset < 0 || size < 0) return -1;
  if (!handle->writable) {
    g_fs.misuse.push_back("write_at on a file open for reading");
    return -1;
  }
  // A failing write may have put part of the bytes down, as a full disk does.
  const std::int64_t count = fail ? size / 2 : size;
  auto& bytes = handle->node->data;
  const auto end = static_cast<std::size_t>(offset + count);
  if (bytes.size() < end) bytes.resize(end);
  if (count > 0) std::memcpy(bytes.data() + offset, data, static_cast<std::size_t>(count));
  handle->node->times.write = ++g_fs.clock;
  return fail ? -1 : 0;
}

int sync_file(FileHandle file) {
  if (fails(Call::kSync)) return -1;
  return handle_of(file, "sync") == nullptr ? -1 : 0;
}

int close_file(FileHandle file) {
  const bool fail = fails(Call::kClose);
  if (g_handles.erase(file) == 0) {
    g_fs.misuse.push_back("close of a file not open");
    return -1;
  }
  --g_fs.open_files;
  return fail ? -1 : 0;  // closed either way, as a failing close still releases it
}

int copy_access(FileHandle file, const FileInfo& like) {
  if (fails(Call::kCopyAccess)) return -1;
  Handle* handle = handle_of(file, "copy_access");
  if (handle == nullptr) return -1;
  handle->node->mode = like.mode;
  handle->node->owner = like.owner;
  handle->node->group = like.group;
  return 0;
}

int set_times(FileHandle file, const FileTimes& times) {
  if (fails(Call::kSetTimes)) return -1;
  Handle* handle = handle_of(file, "set_times");
  if (handle == nullptr) return -1;
  handle->node->times = times;
  return 0;
}

int remove_path(const std::string& path) {
  g_fs.touched.insert(path);
  if (fails(Call::kRemove)) return -1;
  return g_fs.files.erase(path) == 1 ? 0 : -1;
}

int rename_over(const std::string& from, const std::string& to) {
  g_fs.touched.insert(from);
  g_fs.touched.insert(to);
  if (fails(Call::kRenameOver)) return -1;
  auto node = find(from);
  if (node == nullptr || g_fs.folders.count(to) != 0 || g_fs.folders.count(folder_of(to)) == 0) {
    return -1;
  }
  g_fs.files.erase(from);
  g_fs.files[to] = std::move(node);
  return 0;
}

int sync_folder_of(const std::string& path) {
  if (fails(Call::kSyncFolder)) return -1;
  return g_fs.folders.count(folder_of(path)) != 0 ? 0 : -1;
}

bool jpegtran_arguments_fit(const std::vector<std::string>& argv) {
  if (argv.size() != 5) return false;
  const std::string& angle = argv[2];
  return argv[0] == "jpegtran" && argv[1] == "-rotate" &&
         (angle == "90" || angle == "180" || angle == "270") && argv[3] == "-copy" &&
         argv[4] == "all";
}

// jpegtran writes its output into the file open as its standard output.
void write_through(Handle* output, std::vector<std::uint8_t> bytes) {
  output->node->data = std::move(bytes);
  output->node->times.write = ++g_fs.clock;
}

int run_program(const std::vector<std::string>& argv, FileHandle in, FileHandle out_file) {
  ++g_fs.programs_run;
  if (fails(Call::kRunProgram) || g_fs.transformer == Transformer::kNotStarted) return -1;
  if (!jpegtran_arguments_fit(argv)) {
    g_fs.misuse.push_back("jpegtran started with other arguments");
    return 1;
  }
  Handle* input = handle_of(in, "jpegtran's input");
  Handle* output = handle_of(out_file, "jpegtran's output");
  if (input == nullptr || output == nullptr) return 1;
  if (!output->writable) g_fs.misuse.push_back("jpegtran given an output it cannot write");
  std::vector<std::uint8_t> out = input->node->data;
  switch (g_fs.transformer) {
    case Transformer::kCopy:
      write_through(output, out);
      return 0;
    case Transformer::kTruncate:
      out.resize(std::min(out.size(), g_fs.keep));
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

void* allocate(std::size_t size) {
  if (fails(Call::kAllocate) || size > kLargestBlock) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) ++g_fs.live_blocks;
  return block;
}

void release(void* memory) {
  if (memory == nullptr) return;
  --g_fs.live_blocks;
  std::free(memory);
}

}  // namespace

MemoryFs& memory_fs() {
  return g_fs;
}

const Platform& memory_platform() {
  static const Platform table = {
      .list_folder = list_folder,
      .path_info = path_info,
      .open_read = open_read,
      .file_info = file_info,
      .read_at = read_at,
      .create_new = create_new,
      .write_at = write_at,
      .sync = sync_file,
      .close = close_file,
      .copy_access = copy_access,
      .set_times = set_times,
      .remove = remove_path,
      .rename_over = rename_over,
      .sync_folder_of = sync_folder_of,
      .run_program = run_program,
      .allocate = allocate,
      .release = release,
  };
  g_fs = MemoryFs{};
  g_handles.clear();
  g_next_handle = 3;
  g_next_inode = 1;
  return table;
}

std::shared_ptr<MemoryNode> memory_add_file(const std::string& path,
                                            const std::vector<std::uint8_t>& data) {
  auto node = new_node();
  node->data = data;
  g_fs.files[path] = node;
  return node;
}
