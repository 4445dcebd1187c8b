#include "driver/scan_folder.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace {

using FolderId = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

struct Walk {
  const Platform& os;
  const ImageHandler& handler;
  const FolderAgainHandler& again;
  std::vector<FolderId> ancestors;
  std::set<FolderId> seen;
};

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void scan_below(Walk* walk, const std::string& folder) {
  // A folder already on the way down (reached again through a link) is not
  // entered twice: the loop ends here instead of at the path limit.
  FileInfo info;
  const bool known = walk->os.path_info(kNoFile, folder, &info) == 0;
  const FolderId id{info.device, info.inode};
  if (known) {
    if (std::find(walk->ancestors.begin(), walk->ancestors.end(), id) != walk->ancestors.end()) {
      return;
    }
    if (!walk->seen.insert(id).second && walk->again) walk->again();
  }

  // The listing is taken whole before any entry is visited, so files the
  // pipeline creates and renames here are never met, and only one listing is
  // open at a time however deep the tree.
  std::vector<FolderEntry> entries;
  if (walk->os.list_folder(folder, &entries) != 0) return;

  if (known) walk->ancestors.push_back(id);
  for (const FolderEntry& entry : entries) {
    if (entry.name.empty() || entry.name[0] == '.') continue;
    if (entry.is_folder) {
      scan_below(walk, folder + kPathSeparator + entry.name);
    } else if (has_jpg_ending(entry.name)) {
      if (!walk->handler(entry.name, folder)) break;
    }
  }
  if (known) walk->ancestors.pop_back();
}

}  // namespace

bool has_jpg_ending(const std::string& name) {
  static constexpr char kEnding[] = ".jpg";
  if (name.size() <= 4) return false;
  const std::size_t start = name.size() - 4;
  for (std::size_t i = 0; i < 4; ++i) {
    if (ascii_lower(name[start + i]) != kEnding[i]) return false;
  }
  return true;
}

int scan_folder(const Platform& os, const std::string& folder, const ImageHandler& handler,
                const FolderAgainHandler& again) {
  Walk walk{os, handler, again, {}, {}};
  scan_below(&walk, folder);
  return 0;
}
