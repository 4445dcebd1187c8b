// Several files at a time against one after another: the same tree, with
// every road and failures planted by name, must come out byte for byte the
// same, with the same console text, whatever the number of workers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "strip/result_codes.h"
#include "support/camera_jpeg.h"
#include "support/fake_platform.h"
#include "support/file_facts.h"
#include "support/in_process.h"
#include "support/temp_dir.h"

namespace {

struct Entry {
  Bytes bytes;
  FileStamp stamp;  // of pictures only: what the run leaves beside them is new
  bool folder = false;
  bool operator==(const Entry&) const = default;
};

std::map<std::string, Entry> snapshot(const std::string& root) {
  std::map<std::string, Entry> entries;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    const std::string path = item.path().string();
    Entry& entry = entries[path.substr(root.size())];
    entry.folder = item.is_directory();
    if (entry.folder) continue;
    // The stamp first: reading sets the access time.
    const std::string ending = path.substr(path.size() - 4);
    if (ending == ".JPG" || ending == ".jpg") entry.stamp = file_stamp(path);
    entry.bytes = read_file(path);
  }
  return entries;
}

// A tree with every road: pictures to cut, turned ones, another camera's,
// one whose output cannot be made, written or synced, one whose replacement
// is refused, one that shrinks once opened so that it cannot be read (ending
// its folder, subfolder included), and a read-only one.
void plant(const std::string& root) {
  std::filesystem::remove_all(root);
  for (const char* folder : {"", "/a", "/a/sub", "/b", "/b/c", "/d"}) {
    std::filesystem::create_directories(root + folder);
  }
  int n = 0;
  const auto picture = [&](const std::string& name, std::uint32_t orientation) {
    CameraJpegOptions options;
    options.tag = "file" + std::to_string(++n);
    options.orientations = {orientation};
    write_file(root + name, make_camera_jpeg(options));
    set_file_stamp(root + name, distinct_stamp());
  };
  picture("/a/IMG_1.JPG", 1);
  picture("/a/IMG_2.JPG", 6);
  picture("/a/IMG_3.JPG", 1);
  std::filesystem::create_directory(root + "/a/IMG_3.JPG.stripped");
  picture("/a/IMG_4.JPG", 1);
  picture("/a/IMG_5.JPG", 8);
  CameraJpegOptions other;
  other.model = "Another camera";
  write_file(root + "/a/other.jpg", make_camera_jpeg(other));
  set_file_stamp(root + "/a/other.jpg", distinct_stamp());
  picture("/a/sub/IMG_6.JPG", 3);
  picture("/b/IMG_7.JPG", 1);
  picture("/b/IMG_8.JPG", 1);  // cannot be read
  picture("/b/IMG_9.JPG", 6);
  picture("/b/c/IMG_10.JPG", 1);
  picture("/d/IMG_11.JPG", 1);
  FileStamp read_only = distinct_stamp();
  read_only.mode = 0444;
  picture("/d/IMG_12.JPG", 1);
  set_file_stamp(root + "/d/IMG_12.JPG", read_only);
  picture("/d/IMG_13.JPG", 3);
  picture("/d/IMG_14.JPG", 1);  // its output cannot be written
  picture("/d/IMG_15.JPG", 6);  // its output cannot be put on the disk
  picture("/d/IMG_16.JPG", 1);  // nor can this one's
}

// Folders fuller than the workers run ahead: more camera files than may
// wait for their places, and more files than are handed out at a time.
void plant_crowded(const std::string& root) {
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root + "/many/sub");
  for (int n = 0; n < 1300; ++n) {
    const std::string name = root + "/many/x" + std::to_string(n) + ".jpg";
    if (n % 20 == 0) {
      CameraJpegOptions options;
      options.tag = "crowded" + std::to_string(n);
      write_file(name, make_camera_jpeg(options));
    } else {
      write_file(name, Bytes{0xFF, 0xD8, 0xFF, static_cast<std::uint8_t>(n)});
    }
    set_file_stamp(name, distinct_stamp());
  }
  for (int n = 0; n < 40; ++n) {
    CameraJpegOptions options;
    options.tag = "sub" + std::to_string(n);
    const std::string name = root + "/many/sub/IMG_" + std::to_string(n) + ".JPG";
    write_file(name, make_camera_jpeg(options));
    set_file_stamp(name, distinct_stamp());
  }
}

struct Outcome {
  std::string out;
  std::map<std::string, Entry> tree;
};

Outcome run_with(const std::string& root, int workers,
                 void (*plant_tree)(const std::string&) = plant) {
  plant_tree(root);
  FakePlatform os;
  os.workers = workers;
  os.listing = Listing::kAscending;
  std::mutex lock;
  std::thread::id shrinking;
  int reads = 0;
  os.before_call = [&](Call call, const std::string& path) {
    const std::lock_guard<std::mutex> hold(lock);
    if (call == Call::kOpenRead && path == root + "/b/IMG_8.JPG") {
      shrinking = std::this_thread::get_id();
      reads = 0;
    } else if (call == Call::kReadAt && shrinking == std::this_thread::get_id() && ++reads == 2) {
      // Once its model was read and its length taken, before its bytes are read.
      EXPECT_EQ(truncate((root + "/b/IMG_8.JPG").c_str(), 1000), 0);
      set_file_stamp(root + "/b/IMG_8.JPG", distinct_stamp());
      shrinking = std::thread::id();
    } else if (call == Call::kRenameOver && path == root + "/a/IMG_4.JPG.stripped") {
      std::filesystem::remove(path);
    }
  };
  os.fails_for_name = [&](Call call, const std::string& name) {
    return (call == Call::kWriteAt && name == root + "/d/IMG_14.JPG.stripped") ||
           (call == Call::kSync &&
            (name == root + "/d/IMG_15.JPG.stripped" || name == root + "/d/IMG_16.JPG.stripped"));
  };
  const CapturedRun run = run_main_captured(os.table, root);
  EXPECT_EQ(run.status, 0);
  return {run.out, snapshot(root)};
}

TEST(Workers, TwoAtATimeGiveWhatOneAtATimeGives) {
  TempDir dir;
  const std::string root = dir / "tree";
  const Outcome alone = run_with(root, 1);
  // The roads were all taken.
  for (const char* said :
       {"--> rotate 90", "--> rotate 180", "--> couldn't open output file",
        " -->Couldn't replace original file", " -->Error processing", "files rotated"}) {
    EXPECT_NE(alone.out.find(said), std::string::npos) << said << "\n" << alone.out;
  }
  // Outputs that could not be written or synced: nothing saved, nothing replaced.
  for (const char* line : {"/d/IMG_14.JPG\n", "/d/IMG_15.JPG--> rotate 90\n", "/d/IMG_16.JPG\n"}) {
    EXPECT_NE(alone.out.find(root + line), std::string::npos) << line << alone.out;
  }
  EXPECT_EQ(alone.out.find("IMG_9"), std::string::npos) << "the folder ended at IMG_8";
  EXPECT_EQ(alone.out.find("IMG_10"), std::string::npos) << "its subfolder too";
  // Races show only now and then: a few runs each.
  for (const int workers : {2, 3, 2, 2}) {
    const Outcome together = run_with(root, workers);
    EXPECT_EQ(together.out, alone.out) << workers << " workers";
    EXPECT_TRUE(together.tree == alone.tree) << workers << " workers";
    for (const auto& [name, entry] : alone.tree) {
      const auto found = together.tree.find(name);
      if (found == together.tree.end()) {
        ADD_FAILURE() << name << " missing with " << workers << " workers";
      } else if (!(found->second == entry)) {
        ADD_FAILURE() << name << " differs with " << workers << " workers";
      }
    }
  }
}

TEST(Workers, CrowdedFoldersComeOutAsOneAtATime) {
  TempDir dir;
  const std::string root = dir / "tree";
  const Outcome alone = run_with(root, 1, plant_crowded);
  EXPECT_NE(alone.out.find("105 files stripped"), std::string::npos) << alone.out;
  const Outcome together = run_with(root, 2, plant_crowded);
  EXPECT_EQ(together.out, alone.out);
  EXPECT_TRUE(together.tree == alone.tree);
}

// Pictures of a camera's size, read in several pieces, one of which cannot
// be read to its end (a failing card): whatever is at work beside it, every
// other file of the folder is worked on or passed over as with one worker,
// and nothing waits for it in vain.
TEST(Workers, AnUnreadablePictureAmongLargeOnesStallsNoOther) {
  TempDir dir;
  const std::string root = dir / "tree";
  const auto plant_large = [](const std::string& at) {
    std::filesystem::remove_all(at);
    std::filesystem::create_directories(at + "/cards/sub");
    for (int n = 0; n < 6; ++n) {
      CameraJpegOptions options;
      options.width = 2048;
      options.height = 1536;
      options.grain = 14;
      options.tag = "large" + std::to_string(n);
      options.orientations = {n == 3 ? 6u : 1u};
      const std::string name = at + "/cards/IMG_" + std::to_string(n) + ".JPG";
      write_file(name, make_camera_jpeg(options));
      set_file_stamp(name, distinct_stamp());
    }
    write_file(at + "/cards/sub/IMG_9.JPG", make_camera_jpeg());
    set_file_stamp(at + "/cards/sub/IMG_9.JPG", distinct_stamp());
  };
  const auto run = [&](int workers) {
    plant_large(root);
    FakePlatform os;
    os.workers = workers;
    os.listing = Listing::kAscending;
    std::mutex lock;
    int reads = 0;
    // The third piece of IMG_1 cannot be read.
    os.fails_for_name = [&](Call call, const std::string& name) {
      const std::lock_guard<std::mutex> hold(lock);
      return call == Call::kReadAt && name == root + "/cards/IMG_1.JPG" && ++reads == 4;
    };
    const CapturedRun captured = run_main_captured(os.table, root);
    return Outcome{captured.out, snapshot(root)};
  };
  const Outcome alone = run(1);
  EXPECT_NE(alone.out.find("IMG_0.JPG ("), std::string::npos) << alone.out;
  EXPECT_NE(alone.out.find(" -->Error processing " + root + "/cards/IMG_1.JPG\n"),
            std::string::npos)
      << alone.out;
  EXPECT_EQ(alone.out.find("IMG_2"), std::string::npos) << alone.out;
  for (const int workers : {2, 4, 4}) {
    const Outcome together = run(workers);
    EXPECT_EQ(together.out, alone.out) << workers << " workers";
    EXPECT_TRUE(together.tree == alone.tree) << workers << " workers";
  }
}

}  // namespace
