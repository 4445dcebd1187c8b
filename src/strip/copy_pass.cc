#include "strip/copy_pass.h"

namespace {

struct Copy {
  const Platform& os;
  const Pass& pass;
  PassOutcome* outcome;
  bool writing = false;
};

// How much of [offset, offset + n) lies before the cut (all of it when the
// copy is to be whole or the cut lies further on).
std::int64_t part_before_cut(const Copy& copy, std::int64_t offset, std::int64_t n) {
  const std::int64_t cut = copy.outcome->scan.cut;
  if (copy.pass.whole || cut < 0 || cut >= offset + n) return n;
  return cut > offset ? cut - offset : 0;
}

void write_piece(Copy* copy, std::int64_t offset, std::int64_t n) {
  const std::int64_t part = part_before_cut(*copy, offset, n);
  if (copy->outcome->write_failed || part == 0) return;
  if (copy->os.write_at(copy->pass.output->handle, offset, copy->pass.piece, part) != 0) {
    copy->outcome->write_failed = true;
  }
}

// Creates the output once it is the file's turn and copies into it, from
// file to file without passing through this process, what of the first
// `done` bytes belongs there; false while it is not the file's turn.
bool start_writing(Copy* copy, std::int64_t done, bool wait) {
  switch (ask_turn(*copy->pass.turn, wait)) {
    case Turn::kWait:
      return false;
    case Turn::kDropped:
      copy->outcome->dropped = true;
      return false;
    case Turn::kGo:
      break;
  }
  copy->writing = true;
  const Pass& pass = copy->pass;
  if (!create_output(copy->os, pass.folder, pass.output_name, pass.output)) {
    copy->outcome->create_failed = true;
    return true;
  }
  copy->outcome->created = true;
  const std::int64_t part = part_before_cut(*copy, 0, done);
  if (part > 0 && copy->os.copy_range(pass.input, pass.output->handle, 0, part) != 0) {
    copy->outcome->write_failed = true;
  }
  return true;
}

// A piece just read: written once the output is open. Until it is the
// file's turn to write, the pieces are only read, scanned and let go.
void take_piece(Copy* copy, std::int64_t offset, std::int64_t n) {
  if (copy->pass.output_name.empty() || copy->outcome->dropped) return;
  if (!copy->writing && !start_writing(copy, offset, false)) return;
  if (!copy->outcome->create_failed) write_piece(copy, offset, n);
}

}  // namespace

bool create_output(const Platform& os, FileHandle folder, const std::string& path,
                   OpenFile* output) {
  output->os = &os;
  const int created = os.create_new(folder, path, &output->handle);
  if (created != kNameTaken) return created == 0;
  // Most often the name is free; only when it is not is the old file removed.
  os.remove(folder, path);
  return os.create_new(folder, path, &output->handle) == 0;
}

PassOutcome copy_pass(const Platform& os, const Pass& pass) {
  PassOutcome outcome;
  Copy copy{os, pass, &outcome};
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
      return outcome;
    }
  }
  outcome.read = true;
  if (!pass.output_name.empty() && !copy.writing) start_writing(&copy, pass.length, true);
  return outcome;
}
