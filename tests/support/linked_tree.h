// A tree where one picture is reached by several names (a folder link, file
// links, a hard link) among pictures of a camera's size, what a run leaves of
// it, and the ways of running the real binary on it.
#pragma once

#include <map>
#include <string>

#include "support/camera_jpeg.h"
#include "support/file_facts.h"
#include "support/temp_dir.h"

// What a run leaves of a name: a link's target, or a file's bytes and stamp.
struct Left {
  std::string link;
  Bytes bytes;
  FileStamp stamp;
  bool operator==(const Left&) const = default;
};

// Every name below `root`, by its path after `root`.
std::map<std::string, Left> snapshot(const std::string& root);

// A picture as a camera writes it: over a megabyte, read in several pieces.
Bytes large_picture(int seed, std::uint32_t orientation);

// Writes `bytes` at `path` with a stamp far from now.
void picture(const std::string& path, const Bytes& bytes);

// A folder link beside its target, file links to a picture before and after
// it in their folder, a hard link to it from another, and turned pictures
// among them; anything at `root` before is removed.
void plant_linked(const std::string& root);

enum class Output { kTerminal, kPipe, kFile };

// The text of trimvane, given `options` (such as "-n") and `root`, with this
// many workers, into a terminal, a pipe or a file (made in `scratch`).
std::string run_into(Output output, int workers, const std::string& root, const TempDir& scratch,
                     const std::string& options = "");
