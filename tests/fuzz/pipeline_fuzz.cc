// The whole per-file pipeline on one file of an in-memory file system. The
// first bytes of the input choose the circumstances: which platform call
// fails (the N-th time, or from then on), what the jpegtran stand-in does
// with the picture and with its thumbnail,
// whether the model text is put at offset 146, whether the picture is
// read-only or not a regular file, and which temporary files an earlier run
// left. The rest is the file.
//
// Whatever happens, the picture must be there, holding its original bytes or
// one of the results worked out here independently (the rotated picture with
// its Orientation reset, or the final cut), as its result code says; no
// temporary file may be left but those the failure rules allow; every file
// opened must be closed and every block released; a picture replaced keeps its
// mode and times, and permissions never widen.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/memory_platform.h"
#include "fuzz/reference.h"
#include "strip/process_image.h"
#include "strip/result_codes.h"
#include "strip/run_totals.h"

namespace {

constexpr std::size_t kHeader = 6;
constexpr std::size_t kModelOffset = 146;
constexpr const char* kModels[3] = {"EOS 300D DIGITAL", "EOS Kiss Digital", "EOS DIGITAL REBEL"};
const std::string kFolder = "d";
const std::string kPicture = "d/p.jpg";
const std::string kOutput = kPicture + ".stripped";
const std::string kRotated = kPicture + ".r";
const Bytes kStale = {'o', 'l', 'd'};

struct Setup {
  Call failing = Call::kCount;
  int nth = 1;
  bool from_then_on = false;
  bool put_model = false;
  bool read_only = false;
  bool not_regular = false;
  bool stale_output = false;
  bool stale_rotated = false;
  bool stale_rotated_empty = false;
  int model = 0;
  Transformer transformer = Transformer::kCopy;
  std::size_t keep = 0;
  ThumbnailTransformer thumbnail = ThumbnailTransformer::kCopy;
};

Setup read_setup(const std::uint8_t* d) {
  Setup s;
  s.failing = static_cast<Call>(d[0] % (static_cast<int>(Call::kCount) + 1));
  s.nth = 1 + (d[1] & 0x0F);
  s.from_then_on = (d[1] & 0x80) != 0;
  s.put_model = (d[2] & 0x01) != 0;
  s.read_only = (d[2] & 0x02) != 0;
  s.not_regular = (d[2] & 0x04) != 0;
  s.stale_output = (d[2] & 0x08) != 0;
  s.stale_rotated = (d[2] & 0x10) != 0;
  s.stale_rotated_empty = (d[2] & 0x20) != 0;
  s.model = (d[2] >> 6) % 3;
  s.transformer = static_cast<Transformer>((d[3] & 0x0F) % static_cast<int>(Transformer::kCount));
  s.thumbnail = static_cast<ThumbnailTransformer>((d[3] >> 4) %
                                                  static_cast<int>(ThumbnailTransformer::kCount));
  s.keep = static_cast<std::size_t>(d[4] | (d[5] << 8));
  return s;
}

bool is_camera(const Bytes& b) {
  if (b.size() < kModelOffset + 16) return false;
  for (const char* model : kModels) {
    if (std::equal(b.begin() + kModelOffset, b.begin() + kModelOffset + 16, model)) return true;
  }
  return false;
}

// What jpegtran's stand-in leaves under ".r" on success, if anything.
bool transformed(const Setup& s, const Bytes& in, Bytes* out) {
  *out = in;
  switch (s.transformer) {
    case Transformer::kCopy:
      return true;
    case Transformer::kTruncate:
      out->resize(std::min(out->size(), s.keep));
      return true;
    case Transformer::kShift:
      out->insert(out->begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(4, in.size())),
                  {0x00, 0x00});
      return true;
    default:
      return false;
  }
}

// What the stand-in writes for a thumbnail, when it succeeds.
bool thumbnail_transformed(const Setup& s, const Bytes& in, Bytes* out) {
  *out = in;
  switch (s.thumbnail) {
    case ThumbnailTransformer::kCopy:
      return true;
    case ThumbnailTransformer::kGrow:
      out->insert(out->begin() + 2, kThumbnailComment, kThumbnailComment + 16);
      return true;
    case ThumbnailTransformer::kShrink:
      out->resize(std::max<std::size_t>(3, in.size() / 2));
      return true;
    case ThumbnailTransformer::kWriteNothing:
      out->clear();
      return true;
    default:
      return false;
  }
}

// jpegtran's output with its thumbnail turned, where the rules allow.
Bytes with_turned_thumbnail(const Setup& s, const Bytes& out) {
  const ReferenceThumbnail t = reference_thumbnail(out);
  if (!t.found) return out;
  const Bytes thumbnail(out.begin() + static_cast<std::ptrdiff_t>(t.start),
                        out.begin() + static_cast<std::ptrdiff_t>(t.start + t.length));
  Bytes turned;
  return thumbnail_transformed(s, thumbnail, &turned) ? reference_put_back(out, t, turned) : out;
}

// The rotated picture as it stands in place: Orientation 1 written where it
// was found, when the entry is still there. False when it is not.
bool reset(const Bytes& in, std::int64_t value_offset, Bytes* out) {
  if (in.size() < 2 || in[0] != 0xFF || in[1] != 0xD8 ||
      !reference_entry_at(in.data(), static_cast<std::int64_t>(in.size()), value_offset - 8)) {
    return false;
  }
  *out = in;
  const auto at = static_cast<std::size_t>(value_offset);
  (*out)[at] = 1;
  (*out)[at + 1] = (*out)[at + 2] = (*out)[at + 3] = 0;
  return true;
}

// The states the picture may be found in, worked out from its bytes alone.
struct Outcomes {
  Bytes original;
  bool camera = false;
  bool turned = false;
  bool rotatable = false;
  Bytes rotated;  // jpegtran's output with Orientation 1: what the rotation puts in place
  bool has_final = false;
  Bytes final;  // what the whole pipeline puts in place
  // The same with the thumbnail left as it was, as a failing call may leave it.
  bool rotatable_alone = false;
  Bytes rotated_alone;
  Bytes final_alone;
};

Outcomes outcomes_of(const Setup& s, const Bytes& original) {
  Outcomes o;
  o.original = original;
  o.camera = !s.not_regular && is_camera(original);
  if (!o.camera) return o;
  const ReferenceTurn turn =
      reference_turn(original.data(), static_cast<std::int64_t>(original.size()));
  o.turned = turn.found;
  if (!o.turned) {
    const std::int64_t cut = reference_pipeline_cut(original);
    o.has_final = cut >= 0;
    if (o.has_final) o.final.assign(original.begin(), original.begin() + cut);
    return o;
  }
  Bytes out;
  if (!transformed(s, original, &out)) return o;
  const auto final_of = [](const Bytes& rotated) {
    const std::int64_t cut = reference_pipeline_cut(rotated);
    return cut >= 0 ? Bytes(rotated.begin(), rotated.begin() + cut) : rotated;
  };
  o.rotatable_alone = reset(out, turn.value_offset, &o.rotated_alone);
  if (o.rotatable_alone) o.final_alone = final_of(o.rotated_alone);
  o.rotatable = reset(with_turned_thumbnail(s, out), turn.value_offset, &o.rotated);
  o.has_final = o.rotatable;
  if (o.rotatable) o.final = final_of(o.rotated);
  return o;
}

// The rules one input broke, each said on stderr as it is found.
struct Verdict {
  int broken = 0;
  void expect(bool ok, const char* what) {
    if (ok) return;
    (void)std::fprintf(stderr, "broken: %s\n", what);
    ++broken;
  }
};

// The temporary files an earlier run left, if any.
struct Stale {
  std::shared_ptr<MemoryNode> output;
  std::shared_ptr<MemoryNode> rotated;
};

void check(const MemoryFs& fs, const FakePlatform& os, const Setup& s, const Outcomes& o,
           const MemoryNode& before, const Stale& stale, int result, const RunTotals& totals,
           Verdict* verdict) {
  const auto expect = [verdict](bool ok, const char* what) { verdict->expect(ok, what); };
  expect(fs.open_files == 0, "a file is left open");
  expect(fs.live_blocks == 0, "a block is not released");
  for (const std::string& m : fs.misuse) expect(false, m.c_str());
  for (const auto& [path, node] : fs.files) {
    expect(path == kPicture || path == kOutput || path == kRotated, "a file under another name");
  }

  const auto picture = fs.find(kPicture);
  if (picture == nullptr) {
    expect(false, "the picture is gone");
    return;
  }
  const Bytes& now = picture->data;
  const bool original = now == o.original;
  // Only a failing call may leave a thumbnail that could be turned as it was.
  const bool alone = s.failing != Call::kCount && o.rotatable_alone;
  const bool rotated = (o.rotatable && now == o.rotated) || (alone && now == o.rotated_alone);
  const bool final = (o.has_final && now == o.final) || (alone && now == o.final_alone);
  expect(original || rotated || final, "the picture holds bytes it may never hold");
  expect(!s.read_only || original, "a read-only picture was replaced");
  expect((picture->mode & ~before.mode & 07777) == 0, "the picture's permissions widened");
  // A picture is only ever replaced by a file that took its mode and times.
  if (!original) {
    expect(picture->mode == before.mode, "the picture's mode was not carried over");
    expect(
        picture->times.access == before.times.access && picture->times.write == before.times.write,
        "the picture's times were not carried over");
  }

  // What each result leaves in place.
  switch (result) {
    case RESULT_DONE:  // a rotated picture whose cut could not be written is written whole
      expect(final || rotated, "done, yet the picture is not its final result");
      break;
    case RESULT_UNCHANGED:
    case RESULT_LOAD_FAILED:
    case RESULT_ROTATE_FAILED:
      expect(original, "the picture changed though the result says it did not");
      break;
    case RESULT_OUTPUT_FAILED:
      expect(original || rotated, "output failed, yet the picture is not as it was");
      break;
    case RESULT_ROTATED_EMPTY:
    case RESULT_RELOAD_NO_MEMORY:
    case RESULT_RELOAD_FAILED:
    case RESULT_FALLBACK_FAILED:
      expect(rotated, "the rotated picture is not what stands in place");
      expect(totals.files_rotated == 1, "a rotation in place is not counted");
      break;
    default:
      expect(false, "an unknown result");
  }
  expect(totals.files_rotated <= 1 && totals.files_stripped <= 1, "totals run past one file");

  // Temporary files: only what the failure rules allow, and only whole. Those
  // an earlier run left are not ours: they stay if never reached. A creation
  // that failed for a reason of its own never learned that the name was
  // taken (a real system says so first); the next run meets the name again.
  const bool removal_failed = os.was_failed(Call::kRemove);
  const bool stale_unseen = removal_failed || os.was_failed(Call::kCreateNew);
  if (const auto output = fs.find(kOutput)) {
    if (output == stale.output) {
      expect(!os.touched(kOutput) || stale_unseen, "a stale '.stripped' was reached but stays");
    } else {
      const bool whole =
          (o.has_final && output->data == o.final) || (o.rotatable && output->data == o.rotated) ||
          (o.rotatable_alone && (output->data == o.final_alone || output->data == o.rotated_alone));
      expect((result == RESULT_OUTPUT_FAILED && whole) || removal_failed,
             "a '.stripped' is left that the rules do not allow");
      expect((output->mode & ~before.mode & 07777 & ~0600U) == 0, "'.stripped' is open to others");
    }
  }
  if (const auto left = fs.find(kRotated)) {
    if (left == stale.rotated) {
      expect(!os.touched(kRotated) || stale_unseen, "a stale '.r' was reached but stays");
    } else {
      // An empty ".r" is the road's own placeholder, removed unless it cannot
      // be told empty or removed.
      const bool unseen = removal_failed || os.was_failed(Call::kFileInfo);
      expect(original && (!left->data.empty() || unseen),
             "a '.r' is left that the rules do not allow");
      expect((left->mode & ~before.mode & 07777 & ~0600U) == 0, "'.r' is open to others");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The pipeline prints each file's line; the fuzzer's own reports go to stderr.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return 0;
  const Setup s = read_setup(data);
  Bytes bytes(data + kHeader, data + size);
  if (s.put_model && bytes.size() >= kModelOffset + 16) {
    std::copy(kModels[s.model], kModels[s.model] + 16, bytes.begin() + kModelOffset);
  }

  MemoryFs fs;
  FakePlatform os({s.failing, s.nth, s.from_then_on}, fs.table);
  fs.folders = {".", kFolder};
  const auto picture = fs.add_file(kPicture, bytes);
  picture->mode = s.read_only ? 0444 : 0640;
  picture->regular = !s.not_regular;
  Stale stale;
  if (s.stale_output) stale.output = fs.add_file(kOutput, kStale);
  if (s.stale_rotated) {
    stale.rotated = fs.add_file(kRotated, s.stale_rotated_empty ? Bytes{} : kStale);
  }
  fs.transformer = s.transformer;
  fs.keep = s.keep;
  fs.thumbnail_transformer = s.thumbnail;
  const MemoryNode before = *picture;
  const Outcomes outcomes = outcomes_of(s, bytes);

  RunTotals totals;
  const int result = process_image(os.table, totals, "p.jpg", kFolder);
  Verdict verdict;
  check(fs, os, s, outcomes, before, stale, result, totals, &verdict);
  if (verdict.broken != 0) {
    (void)std::fprintf(stderr, "result %d, failing call %d (#%d%s), jpegtran stand-in %d/%d\n",
                       result, static_cast<int>(s.failing), s.nth, s.from_then_on ? " on" : "",
                       static_cast<int>(s.transformer), static_cast<int>(s.thumbnail));
    std::abort();
  }
  return 0;
}
