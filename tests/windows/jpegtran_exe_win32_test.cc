// The jpegtran.exe the Windows tests (and the release archives) use turns a
// picture into exactly the bytes the build machine's jpegtran makes of it.
#include <gtest/gtest.h>

#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"
#include "windows/embedded_pictures.h"
#include "windows/windows_files.h"

TEST(JpegtranExe, TurnsAsTheBuildMachinesJpegtranDoes) {
  ASSERT_GT(kEmbeddedTurnCount, 0u);
  for (std::size_t i = 0; i < kEmbeddedTurnCount; ++i) {
    const EmbeddedTurn& turn = kEmbeddedTurns[i];
    SCOPED_TRACE(std::to_string(turn.width) + "x" + std::to_string(turn.height) + " by " +
                 std::to_string(turn.degrees));
    TempDir dir;
    write_file(dir.path() + "\\in.jpg", plain_jpeg(turn.width, turn.height));
    const RunOutput run = run_program_capture(
        {real_jpegtran_folder() + "\\jpegtran.exe", "-rotate", std::to_string(turn.degrees),
         "-copy", "all", "-outfile", dir.path() + "\\out.jpg", dir.path() + "\\in.jpg"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir.path() + "\\out.jpg"), Bytes(turn.bytes, turn.bytes + turn.size));
  }
}
