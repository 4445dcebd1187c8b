// A file system held in memory behind the Platform table, for driving the
// per-file pipeline without a disk. Names lead to nodes, so a file open under
// a name that is then removed or renamed over behaves as on POSIX. jpegtran is
// played by a stand-in that copies or mangles its input, or fails, as told.
// Every open file and every block handed out is counted, so a test can see
// that all of them came back. Failing calls come from a FakePlatform wrapped
// around `table`. All state lives in the object, which `table` calls back
// into: it is neither copied nor moved.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/fake_platform.h"

struct MemoryNode {
  std::vector<std::uint8_t> data;
  bool regular = true;  // false: a FIFO, say, which open_read refuses and nothing reads
  std::uint32_t mode = 0644;
  std::uint32_t owner = 1000;
  std::uint32_t group = 1000;
  FileTimes times;
  std::uint64_t inode = 0;
};

// What the jpegtran stand-in does with its input.
enum class Transformer : std::uint8_t {
  kCopy,              // writes the input unchanged, succeeds
  kFail,              // writes nothing, exits with 1
  kNotStarted,        // cannot be started
  kWriteNothing,      // writes nothing, exits with 0
  kTruncate,          // writes the first `keep` bytes, exits with 0
  kShift,             // writes the input with two bytes put in after the marker, exits with 0
  kFailAfterWriting,  // writes the input unchanged, exits with 1
  kCount
};

// What the stand-in does with a thumbnail (its command line has "-trim").
enum class ThumbnailTransformer : std::uint8_t {
  kCopy,          // writes the input unchanged, succeeds
  kFail,          // writes nothing, exits with 1
  kGrow,          // puts a 16-byte comment segment after the start of image
  kShrink,        // writes the first half of the input (at least 3 bytes)
  kWriteNothing,  // writes nothing, exits with 0
  kCount
};

// The comment segment kGrow puts in.
inline constexpr std::uint8_t kThumbnailComment[16] = {0xFF, 0xFE, 0x00, 0x0E, 't', 'u', 'r', 'n',
                                                       'e',  'd',  ' ',  't',  'h', 'u', 'm', 'b'};

struct MemoryFs {
  MemoryFs();
  MemoryFs(const MemoryFs&) = delete;
  MemoryFs& operator=(const MemoryFs&) = delete;

  // Puts a file under `path` (its folder must be listed in `folders`).
  std::shared_ptr<MemoryNode> add_file(const std::string& path,
                                       const std::vector<std::uint8_t>& data);
  std::shared_ptr<MemoryNode> find(const std::string& path) const;

  std::map<std::string, std::shared_ptr<MemoryNode>> files;
  std::set<std::string> folders;

  Transformer transformer = Transformer::kCopy;
  std::size_t keep = 0;
  ThumbnailTransformer thumbnail_transformer = ThumbnailTransformer::kCopy;

  int open_files = 0;
  int live_blocks = 0;
  std::vector<std::string> misuse;  // calls on handles not open, bad jpegtran arguments
  Platform table;

 private:
  struct Handle {
    std::shared_ptr<MemoryNode> node;  // a folder's: a stand-in nothing reads
    bool writable = false;
    std::string folder;  // the path of an open folder
  };
  Handle* handle_of(FileHandle file, const char* call);
  FileHandle open_handle(std::shared_ptr<MemoryNode> node, bool writable);
  std::shared_ptr<MemoryNode> new_node();
  void write_through(Handle* output, std::vector<std::uint8_t> bytes);
  int run_program(const std::vector<std::string>& argv, FileHandle in, FileHandle out_file);
  int turn_thumbnail(Handle* input, Handle* output);

  std::map<FileHandle, Handle> handles_;
  FileHandle next_handle_ = 3;
  std::uint64_t next_inode_ = 1;
  std::int64_t clock_ = 1000;
};
