#include "strip/copy_pass.h"

#include <vector>

namespace {

// Pieces read ahead while earlier files are still being read: at most this
// much, so that memory stays flat for files of any size.
constexpr std::size_t kHeldAtMost = std::size_t{3} * 1024 * 1024;

// One buffer per thread, kept from file to file.
std::vector<std::uint8_t>& held_pieces() {
  thread_local std::vector<std::uint8_t> held;
  return held;
}

struct Copy {
  const Platform& os;
  const Pass& pass;
  PassOutcome* outcome;
  bool writing = false;
  std::int64_t held_from = 0;  // the offset of the first held byte
};

// Writes the part of [offset, offset + n) that lies before the cut.
void write_before_cut(Copy* copy, const std::uint8_t* bytes, std::int64_t offset, std::int64_t n) {
  PassOutcome* outcome = copy->outcome;
  if (outcome->write_failed) return;
  const std::int64_t cut = outcome->scan.cut;
  const bool before_cut = !copy->pass.whole && cut >= 0 && cut < offset + n;
  const std::int64_t limit = before_cut ? cut - offset : n;
  if (limit > 0 && copy->os.write_at(copy->pass.output->handle, offset, bytes, limit) != 0) {
    outcome->write_failed = true;
  }
}

// Creates the output once it is the file's turn; false while it is not.
bool start_writing(Copy* copy, bool wait) {
  std::vector<std::uint8_t>& held = held_pieces();
  switch (ask_turn(*copy->pass.turn, wait)) {
    case Turn::kWait:
      return false;
    case Turn::kDropped:
      copy->outcome->dropped = true;
      held.clear();
      return false;
    case Turn::kGo:
      break;
  }
  copy->writing = true;
  if (!create_output(copy->os, copy->pass.output_name, copy->pass.output)) {
    copy->outcome->create_failed = true;
  } else if (!held.empty()) {
    write_before_cut(copy, held.data(), copy->held_from, static_cast<std::int64_t>(held.size()));
  }
  held.clear();
  return true;
}

// A piece just read: written when the output is open, held until it is.
void take_piece(Copy* copy, std::int64_t offset, std::int64_t n) {
  if (copy->pass.output_name.empty() || copy->outcome->dropped) return;
  if (!copy->writing) {
    std::vector<std::uint8_t>& held = held_pieces();
    const bool room = held.size() + static_cast<std::size_t>(n) <= kHeldAtMost;
    if (!start_writing(copy, !room)) {
      if (copy->outcome->dropped) return;
      if (held.empty()) copy->held_from = offset;
      held.insert(held.end(), copy->pass.piece, copy->pass.piece + n);
      return;
    }
  }
  if (!copy->outcome->create_failed) write_before_cut(copy, copy->pass.piece, offset, n);
}

}  // namespace

bool create_output(const Platform& os, const std::string& path, OpenFile* output) {
  output->os = &os;
  const int created = os.create_new(path, &output->handle);
  if (created != kNameTaken) return created == 0;
  // Most often the name is free; only when it is not is the old file removed.
  os.remove(path);
  return os.create_new(path, &output->handle) == 0;
}

PassOutcome copy_pass(const Platform& os, const Pass& pass) {
  PassOutcome outcome;
  Copy copy{os, pass, &outcome};
  held_pieces().clear();
  std::int64_t offset = 0;
  std::int64_t n = pass.first_read;
  while (true) {
    if (n > 0) {
      scan_for_cut(&outcome.scan, pass.piece, n);
      const bool last = offset + n >= pass.length;
      if (last) tell_read_through(pass.turn, false);
      take_piece(&copy, offset, n);
      if (outcome.dropped) return outcome;
      offset += n;
      if (last) break;
    }
    const std::int64_t want = pass.length - offset < kPieceSize ? pass.length - offset : kPieceSize;
    n = os.read_at(pass.input, offset, pass.piece, want);
    if (n != want) {
      tell_read_through(pass.turn, true);
      held_pieces().clear();
      return outcome;
    }
  }
  outcome.read = true;
  if (!pass.output_name.empty() && !copy.writing) start_writing(&copy, true);
  return outcome;
}
