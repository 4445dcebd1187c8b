// The walk against what the system itself lists, and on entries only POSIX
// file systems have: links, loops and FIFOs.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/scan_folder.h"
#include "support/camera_jpeg.h"
#include "support/fake_platform.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> walk(const std::string& root, const Platform& os = platform_default()) {
  std::vector<std::string> visited;
  scan_folder(os, root, [&](const std::string& name, const std::string& folder) {
    visited.push_back(folder + "/" + name);
    return true;
  });
  return visited;
}

// The order in which readdir gives the tree, depth first.
void list_in_readdir_order(const std::string& folder, std::vector<std::string>* out) {
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(dir, nullptr);
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  for (const std::string& name : names) {
    if (name[0] == '.') continue;
    std::string path = folder;
    path.append("/").append(name);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    if (S_ISDIR(st.st_mode)) {
      list_in_readdir_order(path, out);
    } else {
      out->push_back(path);
    }
  }
}

}  // namespace

TEST(WalkPosix, VisitsInReaddirOrder) {
  TempDir dir;
  for (int f = 0; f < 4; ++f) {
    const std::string folder = dir / ("folder" + std::to_string(f));
    make_folders(folder + "/inner");
    for (int i = 0; i < 6; ++i) {
      write_file(folder + "/IMG_" + std::to_string(i) + ".JPG", Bytes{});
      write_file(dir / ("top" + std::to_string(f * 6 + i) + ".jpg"), Bytes{});
    }
    write_file(folder + "/inner/deep.jpg", Bytes{});
  }
  std::vector<std::string> expected;
  list_in_readdir_order(dir.path(), &expected);
  ASSERT_EQ(expected.size(), 52u);
  EXPECT_EQ(walk(dir.path()), expected);
}

TEST(WalkPosix, LinkLoopsEndAndOtherLinksAreFollowed) {
  TempDir dir;
  make_folders(dir / "sub");
  write_file(dir / "a.jpg", Bytes{});
  write_file(dir / "sub/b.jpg", Bytes{});
  ASSERT_EQ(symlink("..", (dir / "sub/up").c_str()), 0);
  ASSERT_EQ(symlink(".", (dir / "sub/self").c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), (dir / "sub/root").c_str()), 0);
  ASSERT_EQ(symlink("sub", (dir / "side").c_str()), 0);  // not an ancestor: followed
  // Listings fail from the 50th on, so that a walk caught in the loop ends
  // anyway, and the test with it.
  FakePlatform os({Call::kListFolder, 50, true});
  std::vector<std::string> visited = walk(dir.path(), os.table);
  EXPECT_LT(os.calls_made(Call::kListFolder), 10);
  std::sort(visited.begin(), visited.end());
  EXPECT_EQ(visited,
            (std::vector<std::string>{dir / "a.jpg", dir / "side/b.jpg", dir / "sub/b.jpg"}));
}

TEST(WalkPosix, FifoNamedJpgDoesNotBlock) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "a.jpg").c_str(), 0644), 0);
  const Bytes camera = make_camera_jpeg();
  write_file(dir / "b.jpg", camera);
  const RunOutput run = run_program_capture({trimvane_binary(), dir.path()}, "", 10);
  const std::string saved = std::to_string(camera.size() - trailing_preview_offset(camera, {}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(after_banner(run.out),
            dir / "b.jpg (" + saved + ")\n1 files stripped\n" + saved + " bytes saved\n");
  struct stat st {};
  ASSERT_EQ(lstat((dir / "a.jpg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(WalkPosix, FolderNamedLikeAnOptionIsReachedWithItsPath) {
  TempDir dir;
  make_folders(dir / "--help");
  const Bytes camera = make_camera_jpeg();
  write_file(dir / "--help/IMG_0001.JPG", camera);
  const RunOutput run =
      run_program_capture({"env", "-C", dir.path(), trimvane_binary(), "./--help"});
  const std::string saved = std::to_string(camera.size() - trailing_preview_offset(camera, {}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(after_banner(run.out),
            "./--help/IMG_0001.JPG (" + saved + ")\n1 files stripped\n" + saved + " bytes saved\n");
}
