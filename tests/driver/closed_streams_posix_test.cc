// Runs whose standard streams are closed, or whose output nobody reads to the
// end: the pictures come out as they would anywhere else and nothing is left
// behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "orient/rotation_checks.h"
#include "support/fake_program.h"

namespace {

using namespace rotation_checks;

// Enough files that the lines printed overflow several 4096-byte blocks.
constexpr int kPlain = 120;
constexpr int kTurned = 4;

struct Tree {
  TempDir dir;
  Bytes stripped;  // what each plain picture becomes
  Bytes upright;   // what each turned one becomes
};

void fill(Tree* tree) {
  const Bytes plain = make_camera_jpeg();
  tree->stripped.assign(plain.begin(), plain.begin() + trailing_preview_offset(plain, {}));
  const Bytes turned_picture = make_camera_jpeg(turned({6}));
  tree->upright = rotated_upright(turned_picture, "90", 30);
  for (int i = 0; i < kPlain; ++i)
    write_file(tree->dir / ("P" + std::to_string(i) + ".JPG"), plain);
  for (int i = 0; i < kTurned; ++i) {
    write_file(tree->dir / ("T" + std::to_string(i) + ".JPG"), turned_picture);
  }
}

// Every picture holds its final bytes and only the pictures are there.
void expect_all_done(const Tree& tree) {
  const std::vector<std::string> names = folder_names(tree.dir.path());
  EXPECT_EQ(names.size(), static_cast<std::size_t>(kPlain + kTurned));
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(name.ends_with(".JPG"));
    EXPECT_EQ(read_file(tree.dir / name), name[0] == 'P' ? tree.stripped : tree.upright);
  }
}

TEST(ClosedStreams, NoPictureEverReceivesTheToolsOutput) {
  // A jpegtran that notes what the tool holds as its standard streams.
  TempDir bin;
  const std::string real = find_on_path("jpegtran");
  ASSERT_FALSE(real.empty());
  const std::string notes = bin / "streams";
  write_script(bin.path(), "jpegtran",
               "for fd in 0 1 2; do printf '%s|' \"$(readlink /proc/$PPID/fd/$fd)\"; done >> '" +
                   notes + "'\nexec '" + real + "' \"$@\"");
  // Each way of starting the tool with standard streams closed.
  for (const char* closing : {">&-", "<&- >&- 2>&-", "<&-", "2>&-"}) {
    SCOPED_TRACE(closing);
    Tree tree;
    fill(&tree);
    std::remove(notes.c_str());
    const RunOutput run =
        run_program_capture({"sh", "-c", std::string("exec \"$0\" \"$1\" ") + closing,
                             trimvane_binary(), tree.dir.path()},
                            bin.path());
    EXPECT_EQ(run.status, 0);
    expect_all_done(tree);
    // While jpegtran ran, the tool's three standard streams were open, and
    // none of them was a file of the tree.
    const Bytes noted = read_file(notes);
    const std::string streams(noted.begin(), noted.end());
    EXPECT_EQ(streams.find(tree.dir.path()), std::string::npos) << streams;
    EXPECT_EQ(streams.find("||"), std::string::npos) << streams;
    EXPECT_EQ(std::count(streams.begin(), streams.end(), '|'), 3 * kTurned) << streams;
  }
}

TEST(ClosedStreams, AReaderThatStopsEarlyDoesNotStopTheRun) {
  Tree tree;
  fill(&tree);
  const RunOutput run = run_program_capture(
      {"bash", "-c", "\"$0\" \"$1\" | head -n 2 >/dev/null; echo \"status ${PIPESTATUS[0]}\"",
       trimvane_binary(), tree.dir.path()});
  EXPECT_EQ(run.out, "status 0\n");
  expect_all_done(tree);
}

}  // namespace
