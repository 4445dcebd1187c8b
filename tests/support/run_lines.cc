#include "support/run_lines.h"

#include <gtest/gtest.h>

std::string totals_lines(long long stripped, long long rotated, long long saved) {
  std::string text = std::to_string(stripped) + " files stripped\n";
  if (rotated != 0) text += std::to_string(rotated) + " files rotated\n";
  return text + std::to_string(saved) + " bytes saved\n";
}

void expect_lines_then_totals(const RunOutput& run, const std::vector<std::string>& lines,
                              const std::string& totals) {
  EXPECT_EQ(run.status, 0);
  const std::string printed = after_banner(run.out);
  std::size_t length = totals.size();
  for (const std::string& line : lines) {
    EXPECT_NE(printed.find(line), std::string::npos) << "no line " << line << " in\n" << printed;
    length += line.size();
  }
  EXPECT_EQ(printed.size(), length) << printed;
  EXPECT_TRUE(printed.ends_with(totals)) << printed;
}
