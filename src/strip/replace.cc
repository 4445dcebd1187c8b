#include "strip/replace.h"

#include "platform/console.h"

namespace {

bool same_times(const FileTimes& a, const FileTimes& b) {
  return a.access == b.access && a.write == b.write;
}

// Some file systems stamp the time of the rename on the file renamed (FAT
// through its FUSE driver): the times it kept before the rename are given
// back through the descriptor, which still leads to it. False when they
// cannot be.
bool keep_times_through_rename(const Platform& os, FileHandle replacement, const FileInfo& picture,
                               const FileInfo& before, FileInfo* after) {
  if (os.file_info(replacement, after) != 0) return false;
  if (same_times(after->times, before.times)) return true;
  return os.set_times(replacement, picture.times) == 0 && os.file_info(replacement, after) == 0 &&
         same_times(after->times, before.times);
}

}  // namespace

bool same_file_unchanged(const FileInfo& now, const FileInfo& then) {
  return now.device == then.device && now.inode == then.inode && now.length == then.length &&
         now.times.write == then.times.write && now.changed == then.changed && !now.is_folder;
}

bool replace_keeping_times(const Platform& os, ImageState* state, FileHandle replacement,
                           const std::string& replacement_name, const std::function<void()>& step) {
  const FileHandle folder = folder_handle(*state);
  const FileInfo& picture = state->picture;
  // Another program may have put a newer picture under the name, or taken
  // it away, since it was read: what was made from the old one must not
  // take its place. Only a picture taken away keeps what was made from it,
  // under its temporary name, for the user to find.
  FileInfo now;
  const bool there = os.path_info(folder, state->path, &now) == 0;
  if (!there || !same_file_unchanged(now, state->in_place)) {
    if (there) os.remove(folder, replacement_name);
    console_print(" -->Couldn't replace original file");
    return false;
  }
  if (step) step();
  // Ownership comes before the times, since changing it can touch them. A
  // picture never takes on the time of the run or private permission bits:
  // when either cannot be set, the original stays as it is. Both go through
  // the descriptor the replacement was written by, never through its name.
  FileInfo as_set;
  const bool kept = os.copy_access(replacement, picture) == 0 &&
                    os.set_times(replacement, picture.times) == 0 &&
                    os.file_info(replacement, &as_set) == 0;
  // One rename puts the new file in place: there is no moment without the
  // picture. A read-only original is left alone.
  const bool replaced =
      kept && !picture.read_only && os.rename_over(folder, replacement_name, state->path) == 0;
  if (!replaced) {
    console_print(" -->Couldn't replace original file");
    return false;
  }
  if (!keep_times_through_rename(os, replacement, picture, as_set, &state->in_place)) {
    console_print(" -->Couldn't keep the file's times");
  }
  return true;
}
