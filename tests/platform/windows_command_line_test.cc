#include "platform/windows_command_line.h"

#include <gtest/gtest.h>

TEST(WindowsCommandLine, QuotesOnlyWhatTheSplittingWouldBreak) {
  struct Case {
    const char* argument;
    const char* expected;
  };
  const Case cases[] = {
      {"-rotate", "-rotate"},
      {"", "\"\""},
      {"C:\\photos\\IMG_0001.JPG", "C:\\photos\\IMG_0001.JPG"},
      {"C:\\my photos\\IMG 1.JPG", "\"C:\\my photos\\IMG 1.JPG\""},
      {"tab\there", "\"tab\there\""},
      {"say \"cheese\"", "\"say \\\"cheese\\\"\""},
      {"\"", "\"\\\"\""},
      // Backslashes stay single unless a quote follows them.
      {"a\\\\b c", "\"a\\\\b c\""},
      {"a\\\"b", "\"a\\\\\\\"b\""},
      {"C:\\my photos\\", "\"C:\\my photos\\\\\""},
      {"C:\\trail\\\\", "C:\\trail\\\\"},
      // Meaningful only to the command interpreter, which never sees the line.
      {"100% & more ^ | <x>", "\"100% & more ^ | <x>\""},
      {"%PATH%^&", "%PATH%^&"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(quote_windows_argument(c.argument), c.expected) << c.argument;
  }
}

TEST(WindowsCommandLine, JoinsQuotedArgumentsWithBlanks) {
  EXPECT_EQ(windows_command_line({"jpegtran", "-rotate", "90", "-outfile", "a b.JPG.r", ""}),
            "jpegtran -rotate 90 -outfile \"a b.JPG.r\" \"\"");
}
