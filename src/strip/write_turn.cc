#include "strip/write_turn.h"

Turn ask_turn(const WriteTurn& turn, bool wait) {
  return turn.ask ? turn.ask(wait) : Turn::kGo;
}

void tell_read_through(WriteTurn* turn, bool failed) {
  if (turn->read_through) turn->read_through(failed);
  turn->read_through = nullptr;
}
