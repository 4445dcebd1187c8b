// The Win32 backend's own promises, beyond what the end-to-end runs show.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/camera_jpeg.h"
#include "support/temp_dir.h"
#include "windows/windows_files.h"

namespace {

const Platform& os = platform_default();

std::string in(const TempDir& dir, const std::string& name) {
  return dir.path() + "\\" + name;
}

}  // namespace

TEST(Win32Platform, ListsTheFolderWholeWithItsFolderBits) {
  TempDir dir;
  write_file(in(dir, "IMG_0001.JPG"), {1, 2, 3});
  make_folders(in(dir, "holiday.jpg"));
  std::vector<FolderEntry> entries;
  ASSERT_EQ(os.list_folder(dir.path(), &entries), 0);
  std::vector<std::pair<std::string, bool>> seen;
  for (const FolderEntry& entry : entries) seen.emplace_back(entry.name, entry.is_folder);
  std::sort(seen.begin(), seen.end());
  const std::vector<std::pair<std::string, bool>> expected = {
      {".", true}, {"..", true}, {"IMG_0001.JPG", false}, {"holiday.jpg", true}};
  EXPECT_EQ(seen, expected);

  // Nothing to list: a missing folder, a file, and the empty text, which
  // would otherwise name the root of the current drive.
  EXPECT_EQ(os.list_folder(in(dir, "missing"), &entries), -1);
  EXPECT_EQ(os.list_folder(in(dir, "IMG_0001.JPG"), &entries), -1);
  EXPECT_EQ(os.list_folder("", &entries), -1);
}

TEST(Win32Platform, TellsFilesApartByVolumeAndIndexWhateverTheName) {
  TempDir dir;
  write_file(in(dir, "a.jpg"), {1});
  write_file(in(dir, "b.jpg"), {1});
  ASSERT_TRUE(CreateHardLinkA(in(dir, "a-too.jpg").c_str(), in(dir, "a.jpg").c_str(), nullptr));
  FileInfo a;
  FileInfo a_too;
  FileInfo b;
  FileInfo folder;
  ASSERT_EQ(os.path_info(kNoFile, in(dir, "a.jpg"), &a), 0);
  ASSERT_EQ(os.path_info(kNoFile, in(dir, "a-too.jpg"), &a_too), 0);
  ASSERT_EQ(os.path_info(kNoFile, in(dir, "b.jpg"), &b), 0);
  ASSERT_EQ(os.path_info(kNoFile, dir.path(), &folder), 0);
  EXPECT_EQ(std::make_pair(a.device, a.inode), std::make_pair(a_too.device, a_too.inode));
  EXPECT_NE(a.inode, b.inode);
  EXPECT_TRUE(folder.is_folder);
  EXPECT_FALSE(a.is_folder);
  EXPECT_EQ(os.path_info(kNoFile, in(dir, "missing"), &a), -1);
}

TEST(Win32Platform, OpensForReadingOnlyRegularFilesNobodyElseHolds) {
  TempDir dir;
  write_file(in(dir, "a.jpg"), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  FileHandle file = kNoFile;
  ASSERT_EQ(os.open_read(in(dir, "a.jpg"), &file, nullptr), 0);
  char bytes[16] = {};
  EXPECT_EQ(os.read_at(file, 4, bytes, 16), 6);
  EXPECT_EQ(bytes[0], 5);
  EXPECT_EQ(os.read_at(file, 20, bytes, 4), 0);
  // The picture is held without sharing while it is read: no one else opens it.
  EXPECT_EQ(CreateFileA(in(dir, "a.jpg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.close(file), 0);

  FileHandle other = kNoFile;
  EXPECT_EQ(os.open_read(dir.path(), &other, nullptr), -1);
  EXPECT_EQ(os.open_read("NUL", &other, nullptr), -1);
  const HANDLE held =
      CreateFileA(in(dir, "a.jpg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.open_read(in(dir, "a.jpg"), &other, nullptr), -1);
  CloseHandle(held);
  // Reading may move the access time here: every file is opened by its path,
  // its facts taken first.
  FileHandle folder = kNoFile;
  EXPECT_EQ(os.open_folder(dir.path(), &folder), -1);
  EXPECT_EQ(os.open_quietly(kNoFile, "a.jpg", &other), kNotQuiet);
}

TEST(Win32Platform, CreatesOnlyNewFiles) {
  TempDir dir;
  write_file(in(dir, "a.jpg.stripped"), {7});
  FileHandle file = kNoFile;
  EXPECT_EQ(os.create_new(kNoFile, in(dir, "a.jpg.stripped"), &file), kNameTaken);
  EXPECT_EQ(read_file(in(dir, "a.jpg.stripped")), Bytes{7});
  ASSERT_EQ(os.create_new(kNoFile, in(dir, "b.jpg.stripped"), &file), 0);
  EXPECT_EQ(os.write_at(file, 0, "abc", 3), 0);
  EXPECT_EQ(os.sync(file), 0);
  EXPECT_EQ(os.close(file), 0);
  EXPECT_EQ(read_file(in(dir, "b.jpg.stripped")), (Bytes{'a', 'b', 'c'}));
}

TEST(Win32Platform, ATemporaryFileIsPrivateAndGoesWhenClosed) {
  char folder[MAX_PATH + 1];
  ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
  const auto names = [&] {
    std::vector<FolderEntry> entries;
    (void)os.list_folder(folder, &entries);
    std::vector<std::string> found;
    for (const FolderEntry& e : entries) {
      if (e.name.rfind("trimvane-", 0) == 0) found.push_back(e.name);
    }
    return found;
  };
  const std::vector<std::string> before = names();
  FileHandle file = kNoFile;
  ASSERT_EQ(os.create_temporary(&file), 0) << GetLastError();
  const std::uint8_t bytes[3] = {7, 8, 9};
  ASSERT_EQ(os.write_at(file, 0, bytes, 3), 0);
  std::uint8_t back[3] = {};
  EXPECT_EQ(os.read_at(file, 0, back, 3), 3);
  EXPECT_TRUE(std::equal(bytes, bytes + 3, back));
  const std::vector<std::string> during = names();
  ASSERT_EQ(during.size(), before.size() + 1);
  // Nobody else may open it, even by its name.
  const std::string path = std::string(folder) + during.back();
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.close(file), 0);
  EXPECT_EQ(names(), before);
}
