// Where the fourth FF D8 FF begins, on hand-made buffers.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "strip/preview_cut.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// `size` bytes of `filler` with FF D8 FF written at each offset.
Bytes with_sequences(std::size_t size, const std::vector<std::size_t>& at, std::uint8_t filler) {
  Bytes bytes(size, filler);
  for (std::size_t s : at) {
    bytes[s] = 0xFF;
    bytes[s + 1] = 0xD8;
    bytes[s + 2] = 0xFF;
  }
  return bytes;
}

struct Cut {
  std::int64_t at;
  int soi_count;
  bool operator==(const Cut&) const = default;
};

// The buffer is copied into a block of exactly its size, so that the
// sanitizer catches any read past its end.
Cut cut_of(const Bytes& bytes) {
  const Bytes exact(bytes.begin(), bytes.end());
  int count = 0;
  const std::int64_t at =
      find_preview_cut(exact.data(), static_cast<std::int64_t>(exact.size()), &count);
  return {at, count};
}

// The counting rule, one position at a time.
Cut reference_cut(const Bytes& b) {
  int count = 0;
  for (std::size_t s = 0; s + 2 < b.size(); ++s) {
    if (b[s] == 0xFF && b[s + 1] == 0xD8 && b[s + 2] == 0xFF) {
      if (count == 3) return {static_cast<std::int64_t>(s), count};
      ++count;
    }
  }
  return {-1, count};
}

}  // namespace

TEST(PreviewCut, Table) {
  struct Case {
    std::string name;
    Bytes bytes;
    Cut expected;
  };
  std::vector<Case> cases = {
      {"empty", {}, {-1, 0}},
      {"one FF", {0xFF}, {-1, 0}},
      {"FF D8 alone", {0xFF, 0xD8}, {-1, 0}},
      {"one sequence, whole buffer", {0xFF, 0xD8, 0xFF}, {-1, 1}},
      {"overlapping", {0xFF, 0xD8, 0xFF, 0xD8, 0xFF}, {-1, 2}},
      {"earliest cut", {0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xD8, 0xFF}, {6, 3}},
      {"0, 50, 90, 200 of 300", with_sequences(300, {0, 50, 90, 200}, 0x00), {200, 3}},
      {"three, then FF D8 as the last two bytes", with_sequences(22, {0, 5, 10}, 0x00), {-1, 3}},
      {"fourth ends at the last byte", with_sequences(23, {0, 5, 10, 20}, 0x00), {20, 3}},
      {"D8 FF is not a start", {0xD8, 0xFF, 0xD8, 0x00}, {-1, 0}},
  };
  cases[7].bytes[20] = 0xFF;
  cases[7].bytes[21] = 0xD8;
  // 0 to 5 sequences, amid zeros and amid FF bytes (which start no sequence
  // of their own but keep the search for FF busy).
  const std::vector<std::size_t> offsets = {0, 10, 20, 30, 40};
  for (const std::uint8_t filler : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
    for (std::size_t k = 0; k <= offsets.size(); ++k) {
      const std::vector<std::size_t> at(offsets.begin(),
                                        offsets.begin() + static_cast<std::ptrdiff_t>(k));
      cases.push_back({std::to_string(k) + " sequences, filler " + std::to_string(filler),
                       with_sequences(64, at, filler),
                       {k >= 4 ? 30 : -1, static_cast<int>(k < 3 ? k : 3)}});
    }
  }
  for (const Case& c : cases) EXPECT_EQ(cut_of(c.bytes), c.expected) << c.name;
}

TEST(PreviewCut, AgreesWithTheCountingRuleOnRandomBuffers) {
  std::mt19937 random(20260101);
  const std::uint8_t alphabet[] = {0xFF, 0xD8, 0x00};
  for (int round = 0; round < 2000; ++round) {
    Bytes bytes(random() % 40);
    for (std::uint8_t& b : bytes) b = alphabet[random() % 3];
    const Cut got = cut_of(bytes);
    ASSERT_EQ(got, reference_cut(bytes)) << "round " << round;
  }
}
