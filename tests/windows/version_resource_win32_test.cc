// What Explorer's Properties show of trimvane.exe: the product and version.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_binary.h"

namespace {

std::string version_text(const std::vector<char>& block, const char* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueA(block.data(), key.c_str(), &value, &length) || length == 0) return "";
  return static_cast<const char*>(value);
}

}  // namespace

TEST(WindowsProgram, CarriesItsProductAndVersion) {
  const std::string program = trimvane_binary();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
  ASSERT_GT(size, 0u) << program;
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, size, block.data()));
  EXPECT_EQ(version_text(block, "ProductName"), "Trimvane");
  EXPECT_EQ(version_text(block, "ProductVersion"), TRIMVANE_VERSION);
  EXPECT_EQ(version_text(block, "FileVersion"), TRIMVANE_VERSION);
  void* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &fixed, &length));
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  // 1.02b: 1, 2, 2 (the letter's place in the alphabet), 0.
  const std::string version = TRIMVANE_VERSION;
  const char letter = version.back();
  EXPECT_EQ(HIWORD(info->dwFileVersionMS), static_cast<WORD>(std::stoi(version)));
  EXPECT_EQ(LOWORD(info->dwFileVersionMS),
            static_cast<WORD>(std::stoi(version.substr(version.find('.') + 1))));
  EXPECT_EQ(HIWORD(info->dwFileVersionLS),
            letter >= 'a' && letter <= 'z' ? static_cast<WORD>(letter - 'a' + 1) : 0);
  EXPECT_EQ(LOWORD(info->dwFileVersionLS), 0);
}
