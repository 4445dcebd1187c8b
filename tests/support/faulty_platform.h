// A platform that does the real thing, except that one chosen call fails:
// the N-th time it is made, or from the N-th time on. Every call is counted,
// and those naming a path are logged, so a test can see what the pipeline did.
#pragma once

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
  kOpenUpdate,
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
  kCount
};

struct FaultPlan {
  Call call = Call::kCount;  // kCount: nothing fails
  int nth = 1;               // the first failing call, counting from 1
  bool from_then_on = false;
};

// Starts a new plan: counts and log are cleared. The table stays valid.
const Platform& faulty_platform(const FaultPlan& plan = {});

int calls_made(Call call);

// "rename_over a -> b", "remove a", ... in the order they were made.
const std::vector<std::string>& path_calls();
