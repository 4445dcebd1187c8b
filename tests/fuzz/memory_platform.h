// A file system held in memory behind the Platform table, for driving the
// per-file pipeline without a disk. Names lead to nodes, so a file open under
// a name that is then removed or renamed over behaves as on POSIX. jpegtran is
// played by a stand-in that copies or mangles its input, or fails, as told.
// Any one call can be made to fail, the N-th time or from then on. Every open
// file and every block handed out is counted, so a test can see that all of
// them came back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/faulty_platform.h"

struct MemoryNode {
  std::vector<std::uint8_t> data;
  bool regular = true;  // false: a FIFO, say, which open_read refuses
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

struct MemoryFs {
  std::map<std::string, std::shared_ptr<MemoryNode>> files;
  std::set<std::string> folders;

  Call failing = Call::kCount;  // kCount: nothing fails
  int nth = 1;
  bool from_then_on = false;
  int calls[static_cast<int>(Call::kCount)] = {};
  bool failed[static_cast<int>(Call::kCount)] = {};  // which calls were made to fail

  Transformer transformer = Transformer::kCopy;
  std::size_t keep = 0;
  int programs_run = 0;

  int open_files = 0;
  int live_blocks = 0;
  std::vector<std::string> misuse;  // calls on handles not open, bad jpegtran arguments
  std::set<std::string> touched;    // names created, removed or renamed
  std::int64_t clock = 1000;
};

// The state behind the table.
MemoryFs& memory_fs();

// Clears the file system, counts and plan, and returns the table.
const Platform& memory_platform();

// Puts a file under `path` (its folder must be listed in `folders`).
std::shared_ptr<MemoryNode> memory_add_file(const std::string& path,
                                            const std::vector<std::uint8_t>& data);
