// trimvane.exe run as a user runs it, on real folders, with the stand-in
// jpegtran.exe found along PATH.
#include <gtest/gtest.h>

#include <iterator>

#include "platform/platform.h"
#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"
#include "windows/windows_files.h"

namespace {

constexpr std::int64_t kOrientationValue = 30;  // of the first IFD0 entry

CameraJpegOptions turned() {
  CameraJpegOptions options;
  options.orientations = {6};
  return options;
}

// A folder holding the stand-in as jpegtran.exe, the tree to work on, and
// the run's output.
struct Scene {
  TempDir dir;
  std::string bin = install_fake_jpegtran(dir.path() + "\\bin");
  std::string photos = dir.path() + "\\photos";
  Scene() { make_folders(photos); }
  std::string at(const std::string& name) const { return photos + "\\" + name; }
  RunOutput run() const { return run_trimvane(photos, bin); }
};

}  // namespace

TEST(WindowsRun, RotatesStripsAndKeepsTheTimes) {
  Scene scene;
  make_folders(scene.at("2004"));
  const Bytes plain = make_camera_jpeg();
  const Bytes turned_picture = make_camera_jpeg(turned());
  write_file(scene.at("2004\\IMG_0001.JPG"), plain);
  write_file(scene.at("2004\\IMG_0002.JPG"), turned_picture);
  ASSERT_TRUE(set_file_times(scene.at("2004\\IMG_0001.JPG"), distinct_times()));
  ASSERT_TRUE(set_file_times(scene.at("2004\\IMG_0002.JPG"), distinct_times()));
  SetFileAttributesA(scene.at("2004\\IMG_0001.JPG").c_str(), FILE_ATTRIBUTE_HIDDEN);

  const RunOutput run = scene.run();
  EXPECT_EQ(run.status, 0);
  const auto cut = static_cast<std::ptrdiff_t>(trailing_preview_offset(plain, {}));
  const auto turned_cut =
      static_cast<std::ptrdiff_t>(trailing_preview_offset(turned_picture, turned()));
  const std::string saved_plain = std::to_string(std::ssize(plain) - cut);
  const std::string saved_turned = std::to_string(std::ssize(turned_picture) - turned_cut);
  // Either listing order: the platform's own is kept.
  const std::string first = scene.at("2004\\IMG_0001.JPG") + " (" + saved_plain + ")\n";
  const std::string second =
      scene.at("2004\\IMG_0002.JPG") + "--> rotate 90 (" + saved_turned + ")\n";
  const std::string totals =
      "2 files stripped\n1 files rotated\n" +
      std::to_string(std::ssize(plain) + std::ssize(turned_picture) - cut - turned_cut) +
      " bytes saved\n";
  const std::string lines = after_banner(run.out);
  EXPECT_TRUE(lines == first + second + totals || lines == second + first + totals) << run.out;

  // Before anything here reads the pictures, which would touch their access times.
  for (const char* name : {"2004\\IMG_0001.JPG", "2004\\IMG_0002.JPG"}) {
    const FileTimes now = file_times(scene.at(name));
    EXPECT_EQ(now.access, distinct_times().access) << name;
    EXPECT_EQ(now.write, distinct_times().write) << name;
    if (!under_wine()) {
      EXPECT_EQ(now.creation, distinct_times().creation) << name;
    }
  }
  Bytes expected_turned(turned_picture.begin(), turned_picture.begin() + turned_cut);
  expected_turned[kOrientationValue] = 1;
  EXPECT_EQ(read_file(scene.at("2004\\IMG_0002.JPG")), expected_turned);
  EXPECT_EQ(read_file(scene.at("2004\\IMG_0001.JPG")), Bytes(plain.begin(), plain.begin() + cut));
  EXPECT_NE(GetFileAttributesA(scene.at("2004\\IMG_0001.JPG").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  for (const char* left :
       {"2004\\IMG_0001.JPG.stripped", "2004\\IMG_0002.JPG.stripped", "2004\\IMG_0002.JPG.r"}) {
    EXPECT_FALSE(path_exists(scene.at(left))) << left;
  }
}

TEST(WindowsRun, TheThumbnailGoesThroughJpegtranAndBack) {
  Scene scene;
  CameraJpegOptions options = turned();
  options.exif_thumbnails = 1;   // the thumbnail is the third sequence; the preview the fourth
  options.thumbnail.width = 32;  // a picture built in
  options.thumbnail.height = 16;
  options.thumbnail.sample = "";
  options.thumbnail.quality = 85;
  const Bytes picture = make_camera_jpeg(options);
  write_file(scene.at("IMG_0001.JPG"), picture);
  const RunOutput run = scene.run();
  EXPECT_NE(run.out.find("1 files rotated\n"), std::string::npos) << run.out;

  // IFD1 follows the model text (32 bytes at file offset 146), at 178: the
  // value of its offset tag at 188, of its length tag at 200. The thumbnail
  // ends the segment; the stand-in makes it 10 bytes longer, and the segment
  // grows by as much.
  const auto get16 = [](const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); };
  const auto start = static_cast<std::ptrdiff_t>(12 + get16(picture, 188));
  const int length = get16(picture, 200);
  ASSERT_EQ(picture[start + 1], 0xD8);
  ASSERT_EQ(start + length, 4 + (picture[4] << 8 | picture[5]));
  Bytes expected(picture.begin(), picture.begin() + trailing_preview_offset(picture, options));
  expected[kOrientationValue] = 1;
  const std::string comment("\xFF\xFE\x00\x08turned", 10);
  expected.insert(expected.begin() + start + 2, comment.begin(), comment.end());
  expected[200] = static_cast<std::uint8_t>(length + 10);
  expected[201] = static_cast<std::uint8_t>((length + 10) >> 8);
  const int segment = (picture[4] << 8 | picture[5]) + 10;
  expected[4] = static_cast<std::uint8_t>(segment >> 8);
  expected[5] = static_cast<std::uint8_t>(segment);
  EXPECT_EQ(read_file(scene.at("IMG_0001.JPG")), expected);
}

TEST(WindowsRun, NamesThatMeanSomethingToTheInterpreterReachJpegtranIntact) {
  Scene scene;
  const std::string folder = "a b & c ^ %PATH% (1)";
  const std::string name = "IMG 1 & 2 ^^ %TEMP% !x!.JPG";
  make_folders(scene.at(folder));
  write_file(scene.at(folder + "\\" + name), make_camera_jpeg(turned()));
  const RunOutput run = scene.run();
  EXPECT_NE(run.out.find(scene.at(folder + "\\" + name) + "--> rotate 90 ("), std::string::npos)
      << run.out << run.err;
  EXPECT_NE(run.out.find("1 files rotated\n"), std::string::npos);
}

TEST(WindowsRun, AFailedRotationLeavesThePictureAsItWas) {
  struct Case {
    const char* mode;
    bool rotated_left;  // whatever jpegtran wrote stays for a look
  };
  for (const Case c :
       {Case{"fail", false}, Case{"silent", false}, Case{"garble", true}, Case{"missing", false}}) {
    Scene scene;
    const EnvironmentSetting mode("FAKE_JPEGTRAN_MODE", c.mode);
    if (std::string(c.mode) == "missing") DeleteFileA((scene.bin + "\\jpegtran.exe").c_str());
    const Bytes picture = make_camera_jpeg(turned());
    write_file(scene.at("IMG_0001.JPG"), picture);
    const RunOutput run = scene.run();
    EXPECT_EQ(after_banner(run.out), scene.at("IMG_0001.JPG") +
                                         "--> rotate 90--> Error rotating image\n" +
                                         "0 files stripped\n0 bytes saved\n")
        << c.mode;
    EXPECT_EQ(read_file(scene.at("IMG_0001.JPG")), picture) << c.mode;
    EXPECT_EQ(path_exists(scene.at("IMG_0001.JPG.r")), c.rotated_left) << c.mode;
    EXPECT_FALSE(path_exists(scene.at("IMG_0001.JPG.stripped"))) << c.mode;
  }
}

TEST(WindowsRun, AReadOnlyPictureIsNotReplaced) {
  Scene scene;
  const Bytes picture = make_camera_jpeg();
  write_file(scene.at("IMG_0001.JPG"), picture);
  SetFileAttributesA(scene.at("IMG_0001.JPG").c_str(), FILE_ATTRIBUTE_READONLY);
  const RunOutput run = scene.run();
  EXPECT_NE(after_banner(run.out).find(" -->Couldn't replace original file\n"), std::string::npos)
      << run.out;
  EXPECT_EQ(read_file(scene.at("IMG_0001.JPG")), picture);
  EXPECT_TRUE(path_exists(scene.at("IMG_0001.JPG.stripped")));
}

TEST(WindowsRun, APictureHeldOpenElsewhereIsLeftAlone) {
  Scene scene;
  const Bytes picture = make_camera_jpeg();
  write_file(scene.at("IMG_0001.JPG"), picture);
  const HANDLE held = CreateFileA(scene.at("IMG_0001.JPG").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const RunOutput run = scene.run();
  CloseHandle(held);
  EXPECT_EQ(after_banner(run.out), "0 files stripped\n0 bytes saved\n");
  EXPECT_EQ(read_file(scene.at("IMG_0001.JPG")), picture);
}

TEST(WindowsRun, PathsAreFormedWithBackslashesAsGiven) {
  Scene scene;
  write_file(scene.at("IMG_0001.JPG"), make_camera_jpeg());
  // A folder text that ends in a backslash keeps it: the separator doubles.
  const RunOutput run = run_trimvane(scene.photos + "\\", scene.bin);
  EXPECT_EQ(after_banner(run.out).rfind(scene.photos + "\\\\IMG_0001.JPG (", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("1 files stripped\n"), std::string::npos);
}

TEST(WindowsRun, AFolderLinkLeadingBackIsNotWalkedAgain) {
  Scene scene;
  write_file(scene.at("IMG_0001.JPG"), make_camera_jpeg());
  const std::string link = scene.at("loop");
  if (!CreateSymbolicLinkA(link.c_str(), scene.photos.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      !path_exists(link)) {
    GTEST_SKIP() << "no folder link can be made here (it takes a privilege; Wine only pretends)";
  }
  const RunOutput run = scene.run();
  const std::string lines = after_banner(run.out);
  EXPECT_EQ(lines.find("IMG_0001.JPG"), lines.rfind("IMG_0001.JPG")) << run.out;
  EXPECT_NE(lines.find("1 files stripped\n"), std::string::npos) << run.out;
}

TEST(WindowsRun, ArgumentsReachTheProgramExactlyAsGiven) {
  TempDir dir;
  const std::string bin = install_fake_jpegtran(dir.path() + "\\bin");
  const std::string record = dir.path() + "\\arguments.txt";
  const EnvironmentSetting mode("FAKE_JPEGTRAN_MODE", "record:" + record);
  const EnvironmentSetting search("PATH", bin);
  const std::vector<std::string> arguments = {
      "-outfile", "C:\\my photos\\", "say \"cheese\"", "", "a\\\\\"b", "100% & ^ | <x>", "\t"};
  std::vector<std::string> argv = {"jpegtran"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const Platform& os = platform_default();
  write_file(dir.path() + "\\in", Bytes{1, 2});
  FileHandle in = kNoFile;
  FileHandle out = kNoFile;
  ASSERT_EQ(os.open_read(dir.path() + "\\in", &in), 0);
  ASSERT_EQ(os.create_new(dir.path() + "\\out", &out), 0);
  ASSERT_EQ(os.run_program(argv, in, out), 0);
  std::string expected;
  for (const std::string& argument : arguments) expected += argument + "\n";
  const Bytes recorded = read_file(record);
  EXPECT_EQ(std::string(recorded.begin(), recorded.end()), expected);

  const EnvironmentSetting failing("FAKE_JPEGTRAN_MODE", "fail");
  EXPECT_EQ(os.run_program(argv, in, out), 1);
  EXPECT_EQ(os.run_program({"no-such-program"}, in, out), -1);
  EXPECT_EQ(os.close(in), 0);
  EXPECT_EQ(os.close(out), 0);
}
