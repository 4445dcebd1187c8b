#include "strip/replace.h"

#include "platform/console.h"

bool replace_keeping_times(const Platform& os, const std::string& original, const FileInfo& picture,
                           FileHandle replacement, const std::string& replacement_name,
                           const std::function<void()>& step) {
  FileInfo now;
  const bool original_there = os.path_info(original, &now) == 0;
  if (original_there && step) step();
  // Ownership comes before the times, since changing it can touch them. A
  // picture never takes on the time of the run or private permission bits:
  // when either cannot be set, the original stays as it is. Both go through
  // the descriptor the replacement was written by, never through its name.
  const bool kept = original_there && os.copy_access(replacement, picture) == 0 &&
                    os.set_times(replacement, picture.times) == 0;
  // One rename puts the new file in place: there is no moment without the
  // picture. A read-only original is left alone, as is a missing one.
  const bool replaced =
      kept && !picture.read_only && os.rename_over(replacement_name, original) == 0;
  if (!replaced) {
    console_print(" -->Couldn't replace original file");
    return false;
  }
  return true;
}
