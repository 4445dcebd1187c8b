#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "orient/orientation.h"
#include "support/camera_jpeg.h"

namespace {

constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kMake = 0x010F;

struct Entry {
  std::uint16_t tag;
  std::uint32_t value;
};

void put_little(Bytes* out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A start of image, an APP1 marker and IFD0 at offset 20: `count` (by default
// the number of entries) and then the entries themselves.
Bytes ifd0(const std::vector<Entry>& entries, int count = -1) {
  Bytes bytes(20, 0);
  bytes[0] = 0xFF;
  bytes[1] = 0xD8;
  bytes[2] = 0xFF;
  bytes[3] = 0xE1;
  put_little(&bytes, static_cast<std::uint32_t>(count < 0 ? entries.size() : count), 2);
  for (const Entry& entry : entries) {
    put_little(&bytes, entry.tag, 2);
    put_little(&bytes, 3, 2);  // SHORT
    put_little(&bytes, 1, 4);
    put_little(&bytes, entry.value, 4);
  }
  return bytes;
}

struct Located {
  bool found;
  OrientationMark mark;
};

// Runs the locator over the first `n` bytes copied into a heap block of
// exactly that size, so that the address sanitizer catches any read past it.
Located locate(const Bytes& bytes, std::size_t n) {
  const auto exact = std::make_unique<std::uint8_t[]>(n);
  std::copy_n(bytes.begin(), n, exact.get());
  OrientationMark mark;
  mark.value = -7;  // not found must leave these as they were
  mark.value_offset = -9;
  const bool found = locate_orientation(exact.get(), static_cast<std::int64_t>(n), &mark);
  return {found, mark};
}

Located locate(const Bytes& bytes) {
  return locate(bytes, bytes.size());
}

void expect_not_found(const Located& located) {
  EXPECT_FALSE(located.found);
  EXPECT_EQ(located.mark.value, -7);
  EXPECT_EQ(located.mark.value_offset, -9);
}

TEST(LocateOrientation, FindsATurnAtAnyEntry) {
  for (const std::uint32_t value : {3u, 6u, 8u}) {
    for (int k = 0; k < 4; ++k) {
      SCOPED_TRACE("value " + std::to_string(value) + " at entry " + std::to_string(k));
      // Entries before it hold the same value under another tag.
      std::vector<Entry> entries(static_cast<std::size_t>(k), Entry{kMake, value});
      entries.push_back({kOrientation, value});
      const Located located = locate(ifd0(entries));
      EXPECT_TRUE(located.found);
      EXPECT_EQ(located.mark.value, static_cast<std::int32_t>(value));
      EXPECT_EQ(located.mark.value_offset, 30 + 12 * k);
    }
  }
}

TEST(LocateOrientation, OtherValuesAreNoTurnButTheScanGoesOn) {
  // 0x60000 is a 6 in the field's upper half; 0x106 a 6 with a stray high byte.
  for (const std::uint32_t value : {0u, 1u, 2u, 4u, 5u, 7u, 9u, 0x60000u, 0x106u, 0xFFFFFFFFu}) {
    SCOPED_TRACE("value " + std::to_string(value));
    expect_not_found(locate(ifd0({{kOrientation, value}})));
    const Located second = locate(ifd0({{kOrientation, value}, {kOrientation, 8}}));
    EXPECT_TRUE(second.found);
    EXPECT_EQ(second.mark.value, 8);
    EXPECT_EQ(second.mark.value_offset, 42);
  }
}

TEST(LocateOrientation, NeedsExifRightAfterTheStartAndSomeEntries) {
  Bytes jfif_first = ifd0({{kOrientation, 6}});
  jfif_first[3] = 0xE0;
  expect_not_found(locate(jfif_first));
  expect_not_found(locate(ifd0({{kOrientation, 6}}, 0)));
}

TEST(LocateOrientation, CameraFiles) {
  struct Case {
    const char* name;
    CameraJpegOptions options;
    std::int32_t value;  // 0: not found
    std::int64_t value_offset;
  };
  CameraJpegOptions turned;
  turned.orientations = {6};
  CameraJpegOptions two = turned;
  two.orientations = {1, 8};
  CameraJpegOptions big = turned;
  big.big_endian = true;
  CameraJpegOptions jfif = turned;
  jfif.jfif_first = true;
  const Case cases[] = {
      {"turned", turned, 6, 30},
      {"1 then 8", two, 8, 42},
      {"big-endian", big, 0, 0},
      {"JFIF first", jfif, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Located located = locate(make_camera_jpeg(c.options));
    if (c.value == 0) {
      expect_not_found(located);
    } else {
      EXPECT_TRUE(located.found);
      EXPECT_EQ(located.mark.value, c.value);
      EXPECT_EQ(located.mark.value_offset, c.value_offset);
    }
  }
}

TEST(LocateOrientation, NeverReadsPastTheEnd) {
  // The turn is the third entry, ending at byte 58: any shorter buffer holds
  // only part of it, and the scan must stop without touching what is missing.
  const Bytes third = ifd0({{kMake, 1}, {kMake, 1}, {kOrientation, 6}});
  ASSERT_EQ(third.size(), 58u);
  for (std::size_t n = 0; n < third.size(); ++n) {
    SCOPED_TRACE("n = " + std::to_string(n));
    expect_not_found(locate(third, n));
  }
  const Located whole = locate(third);
  EXPECT_TRUE(whole.found);
  EXPECT_EQ(whole.mark.value_offset, 54);

  // A count far beyond the entries present.
  const Bytes overstated = ifd0({{kOrientation, 1}, {kMake, 6}}, 0xFFFF);
  for (std::size_t n = 0; n <= overstated.size(); ++n) expect_not_found(locate(overstated, n));
  const Located early = locate(ifd0({{kOrientation, 3}}, 0xFFFF));
  EXPECT_TRUE(early.found);
  EXPECT_EQ(early.mark.value, 3);
}

TEST(OrientationEntryAt, OnlyAWholeOrientationEntryInsideTheBuffer) {
  const Bytes bytes = ifd0({{kMake, 6}, {kOrientation, 6}});  // 46 bytes
  struct Case {
    std::int64_t value_offset;
    std::size_t n;
    bool expected;
  };
  const Case cases[] = {
      {42, 46, true},  {42, 45, false},  // the value field cut short
      {30, 46, false},                   // another tag
      {4, 46, false},  {0, 46, false},   // the entry would begin before the buffer
      {48, 46, false},                   // past the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("value_offset " + std::to_string(c.value_offset) + ", n " + std::to_string(c.n));
    const auto exact = std::make_unique<std::uint8_t[]>(c.n);
    std::copy_n(bytes.begin(), c.n, exact.get());
    EXPECT_EQ(orientation_entry_at(exact.get(), static_cast<std::int64_t>(c.n), c.value_offset),
              c.expected);
  }
}

TEST(OrientationNames, NamesTheNineExifOrientations) {
  const std::vector<std::string> names(ORIENTATION_NAMES, ORIENTATION_NAMES + 9);
  EXPECT_EQ(names, (std::vector<std::string>{"Undefined", "Normal", "flip horizontal", "rotate 180",
                                             "flip vertical", "transpose", "rotate 90",
                                             "transverse", "rotate 270"}));
}

}  // namespace
