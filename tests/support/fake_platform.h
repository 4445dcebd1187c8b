// A platform table for tests that passes every call on to a base table (the
// real platform, or the in-memory file system of the pipeline fuzz target)
// and keeps all it knows in one object: which call fails (the N-th time it is
// made, or from the N-th time on), how often each call was made, the calls
// that name a path, and hooks for files that change under the run. `table`
// calls back into the object, so the object is neither copied nor moved.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

enum class Call {
  kListFolder,
  kPathInfo,
  kOpenRead,
  kFileInfo,
  kReadAt,
  kCreateNew,
  kWriteAt,
  kSync,
  kClose,
  kCopyAccess,
  kSetTimes,
  kRemove,
  kRenameOver,
  kSyncFolder,
  kRunProgram,
  kAllocate,
  kCreateTemporary,
  kCount
};

struct FaultPlan {
  Call call = Call::kCount;  // kCount: nothing fails
  int nth = 1;               // the first failing call, counting from 1
  bool from_then_on = false;
};

// A call that names a path: `to` is set for rename_over, the program's name
// stands in `path` for run_program.
struct PathCall {
  Call call = Call::kCount;
  std::string path;
  std::string to;
};

enum class Listing { kAsListed, kAscending, kDescending };

struct FakePlatform {
  explicit FakePlatform(FaultPlan fault_plan = {}, const Platform& base_table = platform_default());
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  int calls_made(Call call) const { return counts[static_cast<int>(call)]; }
  bool was_failed(Call call) const { return failed[static_cast<int>(call)]; }
  // Whether a create, remove or rename named `path`, whether it failed or not.
  bool touched(const std::string& path) const;

  Platform base;
  FaultPlan plan;
  // Files worked on at a time: one, so that the N-th call is the same one in
  // every run, unless a test asks for more.
  int workers = 1;
  // What the run is told of its open-file limit, when set below the real one.
  int open_files = 0;
  // False: as on a file system whose reads move the access time whatever
  // the kernel was told.
  bool access_time_kept = true;
  // Fails every call for which it says so, by the name the call gives or, for
  // writes and syncs, the name the file was opened or created by: faults that
  // hit the same file whatever the order of the calls.
  std::function<bool(Call call, const std::string& name)> fails_for_name;
  // Folder listings sorted by name, so that a test knows the walk's order.
  Listing listing = Listing::kAsListed;
  // Runs before each call goes on to the base (once it is counted, and only
  // when it is not made to fail), with the path it names, if any: the place
  // for a file to vanish or shrink at a chosen moment.
  std::function<void(Call call, const std::string& path)> before_call;

  int counts[static_cast<int>(Call::kCount)] = {};
  bool failed[static_cast<int>(Call::kCount)] = {};
  std::vector<PathCall> log;
  Platform table;

 private:
  // Calls come from every worker when `workers` is above one.
  std::mutex lock;
  std::map<FileHandle, std::string> handle_names;  // of the files open now
  void note(const PathCall& call);
  void name_handle(FileHandle file, const std::string& path);
  std::string name_of(FileHandle file);
  // Counts the call and says whether it fails; when it does not, runs the hook.
  bool fails(Call call, const std::string& path = "");
};
