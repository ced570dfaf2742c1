// The walk in slices on two threads (array_walk.h).
#include <algorithm>
#include <cstring>

#include "automation/runtime_error.h"
#include "sections/array_walk.h"
#include "sections/fast_elements.h"
#include "sections/side_thread.h"
#include "sections/text_estimate.h"

namespace dudUdudADOD::sections {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

// Copies `text` to `window` when there is one.
void CopyInto(char16_t* window, const std::u16string& text) {
  if (window != nullptr) std::memcpy(window, text.data(), text.size() * sizeof(char16_t));
}

}  // namespace

template <typename Format>
void ArrayWalk::SplitWalk(size_t count, size_t slice, size_t least, bool advance,
                          const Format& format) {
  // Into an output that keeps the whole text, each thread copies its own
  // slice, into room the output gives it once both are done, while the other
  // thread copies or formats: the first touches of the output's fresh pages
  // are shared by both cores, not made by this thread alone after each join.
  const bool in_place = sink_ != nullptr && sink_->KeepsWhole();
  if (in_place) Flush();          // the text before the walk goes first
  std::u16string mine, theirs;    // `mine` holds this thread's slice in place
  char16_t* my_window = nullptr;  // where a joined slice is still to go
  char16_t* their_window = nullptr;
  std::vector<int32_t> their_counters;
  std::vector<uint8_t> my_room, their_room;
  SideThread side;  // declared last: its end waits for a job that uses the above
  const size_t start = Produced();
  for (size_t done = 0; done < count;) {
    const size_t n_mine = std::min(slice, count - done);
    const size_t n_other = std::min(slice, count - done - n_mine);
    Allow((n_mine + n_other) * least);
    if (n_other != 0) {
      their_counters = counters_;
      for (size_t i = 0; advance && i < n_mine; ++i) {
        layout::AdvanceIndexCounters(desc_, their_counters);
      }
      // The side thread cannot know what the report holds by the time its
      // slice joins: it checks its text alone, and the join checks it all.
      side.Start([&theirs, &their_counters, &their_room, &format, window = their_window,
                  first = done + n_mine, n_other] {
        CopyInto(window, theirs);
        theirs.clear();
        format(theirs, 0, first, n_other, their_counters, their_room);
      });
    } else {
      CopyInto(their_window, theirs);  // no job to carry the copy
      theirs.clear();
    }
    their_window = nullptr;
    CopyInto(my_window, mine);
    my_window = nullptr;
    mine.clear();
    std::u16string& text = in_place ? mine : out_;
    format(text, in_place ? Produced() : flushed_, done, n_mine, counters_, my_room);
    Allow(mine.size());
    if (!in_place && sink_ != nullptr) Flush();
    if (n_other != 0) {
      try {
        side.Wait();
      } catch (...) {
        // Text before the failing element that passes a string's length
        // fails first, as it would on one thread.
        Allow(mine.size() + theirs.size());
        throw;
      }
      counters_.swap(their_counters);
    }
    const size_t joined = mine.size() + theirs.size();
    done += n_mine + n_other;
    if (!sized_ && done == 2 * slice && done < count) {
      // The first pair of slices tells how wide the text runs: the room for
      // the rest is taken once.
      const size_t written = Produced() - start + (in_place ? joined : theirs.size());
      Reserve((in_place ? joined : theirs.size()) +
              static_cast<size_t>(EstimateRest(written, done, count, ordinal_labels_)));
    }
    if (!in_place) {
      if (n_other != 0) Emit(theirs);
      continue;
    }
    Allow(joined);
    my_window = sink_->Extend(joined);
    flushed_ += joined;
    if (n_other != 0) their_window = my_window + mine.size();
  }
  // The last pair's copies, one on each thread.
  if (their_window != nullptr)
    side.Start([&theirs, their_window] { CopyInto(their_window, theirs); });
  CopyInto(my_window, mine);
  if (their_window != nullptr) side.Wait();
}

bool ArrayWalk::SplitElements(size_t count, uint16_t element_type, const Switches& s, bool halved) {
  const size_t slice = GeneralSlice();
  const bool splittable =
      TextIsOwnWork(element_type) || (element_type == vbString && process_.ConcurrentReads());
  if ((data_ != nullptr || windowed_) && !s.CharASCII && splittable && Splits(count, slice)) {
    const bool labels_count = s.Indexed && !s.OrdinalPos;
    // Each element writes at least the separator; only a string can fail
    // otherwise, and one that does before the report is too long fails so.
    if (element_type != vbString) Allow(count * sep_.size());
    SplitWalk(count, slice, sep_.size(), labels_count,
              [&](std::u16string& text, size_t before, size_t first, size_t n,
                  std::vector<int32_t>& counters, std::vector<uint8_t>& room) {
                FormatOwnElements(text, before, first, n, counters, room, element_type, s, halved);
              });
    return true;
  }
  return false;
}

// The fast path, in chunks when a sink takes the text as it comes. A chunk
// is as many elements as fill the rest of a piece, counted at their widest,
// so that a long separator makes a chunk of fewer elements, not a longer
// piece.
bool ArrayWalk::PlainElementsFast(uint16_t type, size_t count) {
  if ((data_ == nullptr && !windowed_) || !FastPathFits(type, desc_.cbElements)) return false;
  const size_t widest = WidestElement(type) + sep_.size();
  const bool exact = sink_ == nullptr;
  if (sink_ != nullptr && sink_->KeepsWhole()) {
    // The output takes its room once for the text counted exactly; the two
    // characters are the line's end after the walk.
    Reserve(PlainWidth(type, count) + 2);
    sized_ = true;
  }
  const size_t slice = FastSlice(type);
  if (Splits(count, slice)) {
    // Every element writes a digit and the separator: a walk that must pass
    // a string's length fails before it takes the memory. The whole report
    // takes its room once, as the one-thread walk does: growing by halves
    // would hold up to twice the text while it copies.
    // The digits are counted once, here; a slice is then written into room
    // for its widest text, which the reserve covers for the last one too.
    Allow(count * (sep_.size() + 1));
    if (exact) {
      const size_t width = PlainWidth(type, count);
      Allow(width);
      out_.reserve(out_.size() + width + slice * widest + kIntegerScratch);
      sized_ = true;
    }
    SplitWalk(count, slice, sep_.size() + 1, false,
              [&](std::u16string& text, size_t, size_t first, size_t n, std::vector<int32_t>&,
                  std::vector<uint8_t>& room) {
                AppendPlainElementsFast(text, Cells(first, n, room), type, n, sep_, false);
              });
    return true;
  }
  // With a sink, a chunk is the elements that fill a whole piece at their
  // widest; the text before it goes first when the two would not fit one
  // piece together.
  const size_t chunk = sink_ != nullptr ? std::max<size_t>(1, kFlushAt / widest) : count;
  std::vector<uint8_t> room;
  for (size_t done = 0, n = 0; done < count; done += n) {
    n = std::min(chunk, count - done);
    if (sink_ != nullptr && !out_.empty() && out_.size() + n * widest > kFlushAt) Flush();
    Allow(n * (sep_.size() + 1));  // every element writes a digit and the separator
    AppendPlainElementsFast(out_, Cells(done, n, room), type, n, sep_, exact);
    Allow(0);
    MaybeFlush();
  }
  return true;
}

void ArrayWalk::FormatOwnElements(std::u16string& text, size_t before, size_t first, size_t n,
                                  std::vector<int32_t>& counters, std::vector<uint8_t>& room,
                                  uint16_t type, const Switches& s, bool halved) const {
  const bool indexed = s.Indexed;
  const bool ordinal = s.OrdinalPos;
  const size_t size = CellBytes(type, desc_.cbElements, memory_.layout());
  const auto stride = static_cast<size_t>(desc_.cbElements);
  layout::IndexLabelWriter labels(desc_, counters);
  const uint8_t* cells = Cells(first, n, room);
  StringElement::Memo memo;  // this thread's, for this slice's strings
  if (indexed && !ordinal && LabelledFastPathFits(type, desc_.cbElements)) {
    AppendLabelledIntegers(text, cells, type, n, labels, sep_);
    return;
  }
  if (type == vbString && !indexed && stride >= layout_.pointer_size) {
    // A whole pointer in each element: read in place, with no zeroed copy.
    strings_.AppendCells(text, before, cells, n, stride, sep_, s.AddrLen, halved, memo);
    return;
  }
  for (size_t i = first; i < first + n; ++i) {
    const uint8_t* raw = cells + (i - first) * stride;
    uint8_t cell[kMaxVariantSize] = {};
    std::memcpy(cell, raw, std::min<size_t>(size, kMaxVariantSize));
    if (indexed && ordinal) {
      layout::AppendNextIndexLabel(text, desc_, counters, static_cast<int32_t>(i + 1), true);
    } else if (indexed) {
      labels.Append(text);
    }
    if (type == vbString) {
      AppendStringElement(text, before, cell, s.AddrLen, halved, memo);
    } else {
      AppendElementValue(text, process_, separator_, type, cell, raw, size);
    }
    text += sep_;
  }
}

void ArrayWalk::Emit(std::u16string& text) {
  Allow(text.size());
  if (sink_ == nullptr || !out_.empty()) {
    out_ += text;
    text.clear();
    if (sink_ != nullptr) Flush();
    return;
  }
  // Handed on as it is, with no copy; what the sink leaves is still to come.
  flushed_ += text.size();
  sink_->Take(text);
  flushed_ -= text.size();
  out_ += text;
}

}  // namespace dudUdudADOD::sections
