// The folder walk, run in process on real trees: which entries reach the
// handler, in what order, and what a handler's "stop this folder" stops.
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

// Every path the walk hands on, as folder + separator + name, in order.
// The handler asks the walk to leave the folder after `stop_at`.
std::vector<std::string> walk(const Platform& os, const std::string& root,
                              const std::string& stop_at = "") {
  std::vector<std::string> visited;
  scan_folder(os, root, [&](const std::string& name, const std::string& folder) {
    visited.push_back(folder + kPathSeparator + name);
    return visited.back() != stop_at;
  });
  return visited;
}

std::vector<std::string> sorted(std::vector<std::string> paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

void touch(const std::string& path) {
  write_file(path, Bytes{});
}

}  // namespace

TEST(Walk, HandsOnJpgFilesOnly) {
  TempDir dir;
  const std::string& r = dir.path();
  for (const char* name : {"a.jpg", "IMG_0001.JpG", "B.JPG", "x.jpeg", "x.jpg.bak", ".jpg",
                           ".hidden.jpg", "jpg", "photo.JPG.txt"}) {
    touch(r + "/" + name);
  }
  make_folders(r + "/holiday.jpg");
  touch(r + "/holiday.jpg/inner.jpg");
  make_folders(r + "/.hidden/deeper");
  touch(r + "/.hidden/a.jpg");
  touch(r + "/.hidden/deeper/b.jpg");
  const std::string s(1, kPathSeparator);
  EXPECT_EQ(sorted(walk(platform_default(), r)),
            sorted({r + s + "a.jpg", r + s + "IMG_0001.JpG", r + s + "B.JPG",
                    r + s + "holiday.jpg" + s + "inner.jpg"}));
}

TEST(Walk, FollowsListingOrderDepthFirstAndResult2EndsOnlyTheCurrentFolder) {
  TempDir dir;
  const std::string& r = dir.path();
  make_folders(r + "/1/c");
  make_folders(r + "/2");
  for (const char* name : {"1/a.jpg", "1/b.jpg", "1/c/x.jpg", "1/d.jpg", "2/e.jpg", "f.jpg"}) {
    touch(r + "/" + name);
  }
  const auto p = [&](const std::string& relative) {
    std::string path = r + kPathSeparator + relative;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(r.size()), path.end(), '/',
                 kPathSeparator);
    return path;
  };
  struct Case {
    bool descending;
    std::string stop_at;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {false,
       "",
       {p("1/a.jpg"), p("1/b.jpg"), p("1/c/x.jpg"), p("1/d.jpg"), p("2/e.jpg"), p("f.jpg")}},
      {true,
       "",
       {p("f.jpg"), p("2/e.jpg"), p("1/d.jpg"), p("1/c/x.jpg"), p("1/b.jpg"), p("1/a.jpg")}},
      // The stop ends folder 1 (its folder c and d.jpg included); 2 and f.jpg follow.
      {false, p("1/b.jpg"), {p("1/a.jpg"), p("1/b.jpg"), p("2/e.jpg"), p("f.jpg")}},
      // The stop in a subfolder ends that subfolder only.
      {false,
       p("1/c/x.jpg"),
       {p("1/a.jpg"), p("1/b.jpg"), p("1/c/x.jpg"), p("1/d.jpg"), p("2/e.jpg"), p("f.jpg")}},
  };
  for (const Case& c : cases) {
    FakePlatform os;
    os.listing = c.descending ? Listing::kDescending : Listing::kAscending;
    EXPECT_EQ(walk(os.table, r, c.stop_at), c.expected) << c.descending << " " << c.stop_at;
  }
}

TEST(Walk, TrailingSeparatorIsKeptInPrintedPaths) {
  TempDir dir;
  make_folders(dir / "sub");
  const Bytes camera = make_camera_jpeg();
  write_file(dir / "IMG_0001.JPG", camera);
  write_file(dir / "sub/IMG_0002.JPG", camera);
  const std::string root = dir.path() + kPathSeparator;
  const RunOutput run = run_trimvane(root);
  const std::string saved = std::to_string(camera.size() - trailing_preview_offset(camera, {}));
  const std::string first = root + kPathSeparator + "IMG_0001.JPG (" + saved + ")\n";
  const std::string second =
      root + kPathSeparator + "sub" + kPathSeparator + "IMG_0002.JPG (" + saved + ")\n";
  const std::string totals =
      "2 files stripped\n" + std::to_string(2 * std::stoll(saved)) + " bytes saved\n";
  const std::string lines = after_banner(run.out);
  EXPECT_TRUE(lines == first + second + totals || lines == second + first + totals) << lines;
}
