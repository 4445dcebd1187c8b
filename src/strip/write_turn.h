// When a file may begin to write, while several files are worked on at once.
#pragma once

#include <functional>

enum class Turn { kWait, kGo, kDropped };

// A file that cannot be read ends the rest of its folder, so no file may
// write before every file the walk met before it has been read through.
// A file worked on alone has its turn at once: both calls may be left empty.
struct WriteTurn {
  // kGo once every earlier file has been read through; kDropped when one of
  // them could not be read and this file is not to be worked on. With
  // `wait`, blocks until the answer is one of those two.
  std::function<Turn(bool wait)> ask;
  // Says that this file is read through, or found no camera file (`failed`
  // false), or could not be read (`failed` true). Called once.
  std::function<void(bool failed)> read_through;
};

Turn ask_turn(const WriteTurn& turn, bool wait);
void tell_read_through(WriteTurn* turn, bool failed);
