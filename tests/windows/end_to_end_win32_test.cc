// trimvane.exe run as a user runs it, on real folders, with the real
// jpegtran.exe found along PATH, or the stand-in for the failures the real
// one cannot make.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wide_names_win32.h"
#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/run_lines.h"
#include "support/temp_dir.h"
#include "windows/windows_files.h"

namespace {

constexpr std::size_t kOrientationValue = 30;  // of the first IFD0 entry

// A turned camera file with three thumbnails: once jpegtran has dropped the
// appended preview, the third is still a fourth FF D8 FF, but inside the Exif
// segment before the picture, so the turned picture is never cut there.
CameraJpegOptions turned(std::uint32_t orientation) {
  CameraJpegOptions options;
  options.orientations = {orientation};
  options.exif_thumbnails = 3;
  return options;
}

// What the real jpegtran.exe makes of `original` turned by `degrees`, with its
// Orientation value reading 1: the picture once trimvane is done with it.
// Empty when jpegtran fails.
Bytes upright(const Bytes& original, const std::string& degrees) {
  TempDir dir;
  write_file(dir.path() + "\\in.jpg", original);
  const RunOutput run =
      run_program_capture({real_jpegtran_folder() + "\\jpegtran.exe", "-rotate", degrees, "-copy",
                           "all", "-outfile", dir.path() + "\\out.jpg", dir.path() + "\\in.jpg"});
  Bytes rotated = read_file(dir.path() + "\\out.jpg");
  if (run.status != 0 || rotated.size() <= kOrientationValue) return {};
  rotated[kOrientationValue] = 1;
  return rotated;
}

// " (N)": the saving printed when `before` became `after`.
std::string saving(const Bytes& before, const Bytes& after) {
  return " (" + std::to_string(before.size() - after.size()) + ")";
}

// A folder holding the tree to work on, and the run's output; jpegtran.exe is
// the real one unless the stand-in is installed.
struct Scene {
  TempDir dir;
  std::string bin = real_jpegtran_folder();
  std::string photos = dir.path() + "\\photos";
  Scene() { make_folders(photos); }
  void use_fake_jpegtran() { bin = install_fake_jpegtran(dir.path() + "\\bin"); }
  std::string at(const std::string& name) const { return photos + "\\" + name; }
  RunOutput run() const { return run_trimvane(photos, bin); }
};

}  // namespace

TEST(WindowsRun, TurnsPicturesUprightKeepingTimesAndAttributes) {
  struct Case {
    const char* path;
    std::uint32_t orientation;
    const char* degrees;   // nullptr: not turned, only stripped
    DWORD attributes;      // set before the run; those of kKept are kept by it
    bool stale_r = false;  // a ".r" left from an earlier run
    bool read_only = false;
  };
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
  const Case cases[] = {
      {"2004\\IMG_0001.JPG", 1, nullptr, FILE_ATTRIBUTE_HIDDEN},  // two thumbnails
      {"2004\\IMG_0002.JPG", 3, "180", FILE_ATTRIBUTE_ARCHIVE},
      {"a b & c ^ %PATH% (1)\\IMG 1 & 2 ^^ %TEMP% !x!.JPG", 6, "90", FILE_ATTRIBUTE_HIDDEN},
      // Names outside any one code page, in UTF-8 as the program's manifest
      // has every narrow name: Western, Cyrillic, Japanese, an emoji.
      {"Ferien \u00c4\u00d6\u00dc\\Bild \u00e9 \u00df.JPG", 8, "270", FILE_ATTRIBUTE_SYSTEM},
      {"\u041f\u0440\u0438\u0432\u0435\u0442\\\u5199\u771f.JPG", 1, nullptr,
       FILE_ATTRIBUTE_ARCHIVE},
      {"\U0001F4F7\\\U0001F642 \u7d05\u8449.JPG", 6, "90", FILE_ATTRIBUTE_ARCHIVE},
      {"2005\\IMG_0003.JPG", 6, "90", FILE_ATTRIBUTE_ARCHIVE, true},
      {"2005\\IMG_0004.JPG", 8, "270", FILE_ATTRIBUTE_READONLY, false, true},
  };
  Scene scene;
  std::vector<Bytes> originals;
  std::vector<Bytes> expected;
  std::vector<std::string> lines;
  long long replaced = 0;
  long long turned_count = 0;
  long long saved = 0;
  for (const Case& c : cases) {
    const std::string path = scene.at(c.path);
    make_folders(path.substr(0, path.find_last_of('\\')));
    const CameraJpegOptions options =
        c.degrees != nullptr ? turned(c.orientation) : CameraJpegOptions{};
    const Bytes original = make_camera_jpeg(options);
    write_file(path, original);
    ASSERT_TRUE(set_file_times(path, distinct_times())) << c.path;
    if (c.stale_r) write_file(path + ".r", {'o', 'l', 'd'});
    SetFileAttributesA(path.c_str(), c.attributes);
    originals.push_back(original);
    if (c.degrees == nullptr) {
      const auto cut = trailing_preview_offset(original, options);
      expected.emplace_back(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut));
      lines.push_back(path + saving(original, expected.back()) + "\n");
    } else if (c.read_only) {
      expected.push_back(original);
      lines.push_back(path + "--> " + "rotate " + c.degrees +
                      " -->Couldn't replace original file\n");
      continue;
    } else {
      expected.push_back(upright(original, c.degrees));
      ASSERT_LT(expected.back().size(), original.size()) << c.path;
      lines.push_back(path + "--> rotate " + c.degrees + saving(original, expected.back()) + "\n");
      turned_count += 1;
    }
    replaced += 1;
    saved += static_cast<long long>(original.size() - expected.back().size());
  }

  const RunOutput run = scene.run();
  expect_lines_then_totals(run, lines,
                           std::to_string(replaced) + " files stripped\n" +
                               std::to_string(turned_count) + " files rotated\n" +
                               std::to_string(saved) + " bytes saved\n");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.path);
    const std::string path = scene.at(c.path);
    // The times before anything here reads the picture, which may touch them.
    // A picture left in place was read, which may move its access time.
    const FileTimes now = file_times(path);
    if (!c.read_only) {
      EXPECT_EQ(now.access, distinct_times().access);
    }
    EXPECT_EQ(now.write, distinct_times().write);
    if (!under_wine()) {  // Wine keeps no creation time of its own
      EXPECT_EQ(now.creation, distinct_times().creation);
    }
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & kKept, c.attributes & kKept);
    EXPECT_EQ(read_file(path), expected[i]);
    EXPECT_FALSE(path_exists(path + ".stripped"));
    // A picture that could not be replaced keeps its turned copy beside it.
    if (c.read_only) {
      EXPECT_EQ(read_file(path + ".r"), upright(originals[i], c.degrees));
    } else {
      EXPECT_FALSE(path_exists(path + ".r"));
    }
  }
}

TEST(WindowsRun, TheThumbnailGoesThroughJpegtranAndBack) {
  Scene scene;
  scene.use_fake_jpegtran();
  CameraJpegOptions options = turned(6);
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
  Bytes expected(picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(
                                                        trailing_preview_offset(picture, options)));
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

TEST(WindowsRun, AFailedRotationLeavesThePictureAsItWas) {
  enum class Jpegtran { kMissing, kReal, kFake };
  struct Case {
    const char* what;
    Jpegtran jpegtran;
    const char* fake_mode;
    bool rotated_left;  // whatever jpegtran wrote stays for a look
  };
  const Case cases[] = {
      {"no jpegtran anywhere", Jpegtran::kMissing, "", false},
      // An unsupported frame type: jpegtran fails before it opens its output.
      {"jpegtran refuses a picture it cannot read", Jpegtran::kReal, "", false},
      {"jpegtran says it succeeded but wrote nothing", Jpegtran::kFake, "silent", false},
      {"jpegtran wrote something that is no JPEG", Jpegtran::kFake, "garble", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    Bytes picture = make_camera_jpeg(turned(6));
    if (c.jpegtran == Jpegtran::kReal) {
      const Bytes frame = {0xFF, 0xC0};
      const auto at = std::search(picture.begin(), picture.end(), frame.begin(), frame.end());
      ASSERT_NE(at, picture.end());
      at[1] = 0xCF;
    }
    if (c.jpegtran == Jpegtran::kFake) scene.use_fake_jpegtran();
    if (c.jpegtran == Jpegtran::kMissing) scene.bin = scene.dir.path();  // holds none
    const EnvironmentSetting mode("FAKE_JPEGTRAN_MODE", c.fake_mode);
    write_file(scene.at("IMG_0001.JPG"), picture);
    const RunOutput run = scene.run();
    EXPECT_EQ(after_banner(run.out), scene.at("IMG_0001.JPG") +
                                         "--> rotate 90--> Error rotating image\n" +
                                         "0 files stripped\n0 bytes saved\n");
    EXPECT_EQ(read_file(scene.at("IMG_0001.JPG")), picture);
    EXPECT_EQ(path_exists(scene.at("IMG_0001.JPG.r")), c.rotated_left);
    EXPECT_FALSE(path_exists(scene.at("IMG_0001.JPG.stripped")));
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
  ASSERT_EQ(os.open_read(dir.path() + "\\in", &in, nullptr), 0);
  ASSERT_EQ(os.create_new(kNoFile, dir.path() + "\\out", &out), 0);
  ASSERT_EQ(os.run_program(argv, in, out), 0);
  std::string expected;
  for (const std::string& argument : arguments) expected += argument + "\n";
  const Bytes recorded = read_file(record);
  EXPECT_EQ(std::string(recorded.begin(), recorded.end()), expected);

  // Its own exit status comes back: 2 for a command line it does not know.
  const EnvironmentSetting failing("FAKE_JPEGTRAN_MODE", "");
  EXPECT_EQ(os.run_program(argv, in, out), 2);
  EXPECT_EQ(os.run_program({"no-such-program"}, in, out), -1);
  EXPECT_EQ(os.close(in), 0);
  EXPECT_EQ(os.close(out), 0);
}

// Beyond 260 characters only the wide calls reach a name, and only with the
// \\?\ prefix: this test makes and reads its long path so.
TEST(WindowsRun, APictureBeyond260CharactersIsReached) {
  Scene scene;
  std::string folder = scene.photos;
  for (char letter = 'a'; folder.size() <= 300; ++letter) {
    folder += "\\" + std::string(40, letter);
    ASSERT_TRUE(CreateDirectoryW(wide_path(folder).c_str(), nullptr)) << folder.size();
  }
  const std::string path = folder + "\\IMG_0001.JPG";
  const Bytes original = make_camera_jpeg();
  const auto file_bytes = [&](const Bytes* write) {
    const HANDLE file = CreateFileW(wide_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
    Bytes bytes(write ? 0 : 16u << 20);
    DWORD done = 0;
    if (file != INVALID_HANDLE_VALUE) {
      if (write) {
        WriteFile(file, write->data(), static_cast<DWORD>(write->size()), &done, nullptr);
      } else if (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr)) {
        bytes.resize(done);
      }
      CloseHandle(file);
    }
    return bytes;
  };
  file_bytes(&original);
  ASSERT_EQ(file_bytes(nullptr), original);
  const Bytes cut(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(
                                                           trailing_preview_offset(original, {})));
  const RunOutput run = scene.run();
  EXPECT_NE(run.out.find(path + saving(original, cut) + "\n"), std::string::npos) << run.out;
  EXPECT_EQ(file_bytes(nullptr), cut);
}

// Started with its input from NUL (as every run here is), the program never
// waits for Enter: neither after the usage text nor after a run.
TEST(WindowsRun, NothingWaitsForEnterWhenInputIsRedirected) {
  Scene scene;
  write_file(scene.at("IMG_0001.JPG"), make_camera_jpeg());
  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{trimvane_binary()}, {trimvane_binary(), scene.photos}}) {
    const RunOutput run = run_program_capture(argv, "", 30);
    EXPECT_EQ(run.status, argv.size() == 1 ? 1 : 0) << run.out;
    EXPECT_EQ(run.out.find("Press Enter"), std::string::npos) << run.out;
  }
}
