#include "strip/replace.h"

#include "platform/console.h"
#include "platform/holders.h"

bool replace_keeping_times(const Platform& os, const std::string& original,
                           const std::string& replacement, const FileTimes& times,
                           const std::function<void()>& step) {
  FileInfo now;
  const bool original_there = os.path_info(original, &now) == 0;
  // Whether the times and access bits were carried over; a replacement that
  // cannot even be opened carries nothing over and stays where it is.
  bool kept = false;
  if (original_there) {
    OpenFile file;
    file.os = &os;
    if (os.open_update(replacement, &file.handle) == 0) {
      if (step) step();
      // Ownership comes before the times, since changing it can touch them.
      // A picture never takes on the time of the run or private permission
      // bits: when either cannot be set, the original stays as it is.
      kept = os.copy_access(file.handle, now) == 0 && os.set_times(file.handle, times) == 0;
    }
  }
  // One rename puts the new file in place: there is no moment without the
  // picture. A read-only original is left alone, as is a missing one.
  const bool replaced =
      original_there && kept && !now.read_only && os.rename_over(replacement, original) == 0;
  if (!replaced) {
    console_print(" -->Couldn't replace original file");
    return false;
  }
  os.sync_folder_of(original);
  return true;
}
