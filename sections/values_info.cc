#include "sections/values_info.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

#include "automation/bstr.h"
#include "automation/checked_math.h"
#include "automation/conversions.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/safe_array_desc.h"
#include "automation/text_forms.h"
#include "automation/variant.h"
#include "layout/next_index_label.h"
#include "sections/element_text.h"
#include "sections/fast_elements.h"
#include "sections/side_thread.h"
#include "sections/string_element.h"
#include "sections/text_estimate.h"

namespace dudUdudADOD::sections {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

// Whether an element's text is the walk's own work from its bytes alone, so
// that another thread may write it: no string or object to read through the
// process, no platform conversion.
bool TextIsOwnWork(uint16_t type) {
  switch (type) {
    case vbString:
    case vbNull:
    case vbVariant:
    case vbDecimal:
    case vbDate:
    case vbObject:
    case vbDataObject:
    case vbError:
      return false;
    default:
      return true;  // numbers, Booleans, Empty, and raw bytes in hex
  }
}

// A report is one string, so it holds at most kMaxStringChars characters. A
// walk whose text would take the report past that stops with error 14 before
// it takes the memory, however few bytes the array itself holds (a thousand
// elements may all point at one long string, or a long separator follow
// each of a million bytes).

// How much text a walk gathers before it hands it to a sink: the most
// UTF-16 a report in pieces holds at once, give or take one element.
constexpr size_t kFlushAt = size_t{1} << 16;

// How much text a slice of a split walk holds, about: enough that handing a
// slice to the other thread costs little beside formatting it.
constexpr size_t kSliceChars = size_t{1} << 18;
// About how wide an element's text runs on the general path, label and
// separator aside: slices are sized by it.
constexpr size_t kTypicalElement = 16;

// How much of the data a walk on one thread reads at once, where the data
// is read a piece at a time: enough that a read costs little beside what
// its elements write, little enough to stay in the cache.
constexpr size_t kWindowBytes = size_t{1} << 16;

// Copies `text` to `window` when there is one.
void CopyInto(char16_t* window, const std::u16string& text) {
  if (window != nullptr) std::memcpy(window, text.data(), text.size() * sizeof(char16_t));
}

// The widest text of one element of the fast path's types, separator aside.
size_t WidestElement(uint16_t type) {
  if (IsOtherInteger(type)) return WidestWhole(type);
  return type == vbByte ? 3 : type == vbInteger ? 6 : 11;  // "255", "-32768", "-2147483648"
}

class ArrayWalk {
 public:
  ArrayWalk(ClientProcess& process, std::u16string& out, std::u16string_view sep,
            ReportOutput* sink, WalkSplit split)
      : process_(process),
        memory_(process.memory()),
        layout_(memory_.layout()),
        out_(out),
        sep_(sep),
        sink_(sink),
        split_(split),
        separator_(process.DecimalSeparator()),
        strings_(process) {}

  // Walks the array at `var`; sets s.OrdinalPos for a one-dimensional one.
  void Run(Address var, uint16_t type, Switches& s, bool halved);

 private:
  // Snapshots the descriptor and starts the counters; the element count.
  int32_t Prepare(Address var, Switches& s);
  // Takes the data as one host run (data_), or, where that run would be a
  // copy, leaves it to be read a slice or a window at a time (windowed_):
  // the copy then goes to room the walk reuses, which stays in the cache,
  // not to pages touched for the first time.
  void TakeData();
  // Elements a slice of the fast path, and of the general path.
  size_t FastSlice(uint16_t type) const;
  size_t GeneralSlice() const;
  // The bytes of the elements [first, first + n): the data's own when it is
  // one host run, else read into `room`; raises 5 when they cannot be read.
  const uint8_t* Cells(size_t first, size_t n, std::vector<uint8_t>& room) const;
  // The fast path's text of all `count` elements, counted.
  size_t PlainWidth(uint16_t type, size_t count) const;
  // Every element on this thread, in the order of the data.
  void WalkInOrder(int32_t count, uint16_t element_type, const Switches& s, bool halved);
  // The `size` bytes at `at`, within the data, read a window at a time.
  const uint8_t* WindowAt(Address at, size_t size);
  void Element(Address at, int32_t step, uint16_t type, const Switches& s, bool halved);
  bool PlainElementsFast(uint16_t type, size_t count);
  // The elements [first, first + n) of a type whose text is the walk's own
  // work, or of Strings when the process reads from two threads at once,
  // labelled from `counters`, appended to `text`; `before` as for
  // AppendStringElement. Touches nothing of the walk but what it reads, so
  // two threads may run it at once.
  void FormatOwnElements(std::u16string& text, size_t before, size_t first, size_t n,
                         std::vector<int32_t>& counters, std::vector<uint8_t>& room, uint16_t type,
                         const Switches& s, bool halved) const;
  // Whether a walk of `count` elements in slices of `slice` is split.
  bool Splits(size_t count, size_t slice) const {
    return split_.second_thread && count / 2 >= slice;
  }
  // Formats the elements in pairs of slices, the first on this thread and
  // the second on a side thread, and hands both on in order. `format` is
  // called as FormatOwnElements is, each thread with room of its own for
  // Cells; `least` is the fewest characters an
  // element writes. `advance` says whether labels move the counters.
  template <typename Format>
  void SplitWalk(size_t count, size_t slice, size_t least, bool advance, const Format& format);
  // Appends or hands on a slice formatted on the side thread.
  void Emit(std::u16string& text);
  // Takes room for about `more` characters after the report so far: in the
  // report itself, or from an output that keeps the whole text.
  void Reserve(size_t more) {
    if (sink_ == nullptr) {
      out_.reserve(out_.size() + more);
    } else if (sink_->KeepsWhole()) {
      sink_->Expect(out_.size() + more);
    }
  }
  void MaybeFlush() {
    if (sink_ != nullptr && out_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    flushed_ += out_.size();
    sink_->Take(out_);
    flushed_ -= out_.size();  // what the sink left is still to come
  }
  // The report so far, handed over or not: the sections before the values
  // count too, since they are all one string.
  size_t Produced() const { return flushed_ + out_.size(); }
  // Raises 14 when `more` characters would take the report past a string.
  void Allow(uint64_t more) const { CheckStringSpace(Produced(), more); }
  // A String element's text, and its address and length with `addr_len`,
  // appended to `text`; `before` is what the report held before `text`
  // began (or less, on a side thread: the walk checks again in order).
  // Raises 14 before a string would take the report past a string's length.
  // `memo` is the calling thread's.
  void AppendStringElement(std::u16string& text, size_t before, const uint8_t* cell, bool addr_len,
                           bool halved, StringElement::Memo& memo) const {
    strings_.Append(text, before, CellPointer(layout_, cell), addr_len, halved, memo);
  }
  // Allows for the text of a Variant element that holds a string, before the
  // text takes memory (String elements allow for theirs as they read the
  // length); other elements' texts are short.
  void AllowStringOf(uint16_t type, const uint8_t* cell) const;

  // Chr(CLng(element)) for CharASCII. A Byte's CLng is itself, and each
  // code's character is asked of the process once per walk: the answers are
  // the same for every element, and asking costs a runtime call on Windows.
  char16_t CharacterOf(uint16_t type, const uint8_t* cell);

  ClientProcess& process_;
  const Memory& memory_;
  const Layout& layout_;  // the memory's, which never changes
  std::u16string& out_;
  std::u16string_view sep_;
  ReportOutput* sink_;
  WalkSplit split_;
  const char16_t separator_;  // asked once per walk, not per element
  const StringElement strings_;
  StringElement::Memo memo_;     // the one-thread walk's, for its strings
  size_t flushed_ = 0;           // characters already handed to the sink
  bool sized_ = false;           // the room for the whole text has been taken
  bool ordinal_labels_ = false;  // every element is labelled "[position]"
  SafeArrayDesc desc_;
  std::vector<int32_t> counters_;
  layout::IndexLabelWriter labels_{desc_, counters_};  // the one-thread walk's labels
  const uint8_t* data_ = nullptr;  // the whole data as one host run, when it is one
  bool windowed_ = false;          // the data is read a slice at a time instead
  int32_t total_ = 0;              // the data's bytes
  std::vector<uint8_t> element_;   // an element read piece by piece otherwise
  std::vector<uint8_t> window_;    // the data from window_at_ on, windowed_ on one thread
  Address window_at_ = 0;
  std::array<char16_t, 256> ansi_{};
  std::array<bool, 256> ansi_known_{};  // codes whose character has been asked
};

char16_t ArrayWalk::CharacterOf(uint16_t type, const uint8_t* cell) {
  int32_t code = cell[0];
  if (type != vbByte) {
    VariantImage image = VariantImage::OfType(type);
    std::memcpy(image.data_field(), cell, 8);
    code = process_.ToLong(image);
  }
  if (code < 0 || code > 255) return process_.AnsiChar(code);  // raises as the process does
  const auto at = static_cast<size_t>(code);
  if (!ansi_known_[at]) {
    ansi_[at] = process_.AnsiChar(code);
    ansi_known_[at] = true;
  }
  return ansi_[at];
}

int32_t ArrayWalk::Prepare(Address var, Switches& s) {
  int32_t total = 0;
  SnapshotSafeArrayDesc(memory_, DescriptorCell(memory_, var), desc_, total);
  if (desc_.cDims == 1) s.OrdinalPos = true;
  if (s.Indexed && desc_.cDims > 1) {
    if (desc_.cDims > kMaxDims) Raise(kSubscriptOutOfRange);
    for (size_t k = 0; k < static_cast<size_t>(desc_.cDims); ++k) {
      counters_.push_back(desc_.rgsabound[k].lLbound);
    }
  }
  // The element count is total / cbElements; an array without storage has
  // 0 / 0, which the platform reports as an overflow.
  if (desc_.cbElements == 0) Raise(kOverflow);
  if (desc_.cbElements < 0) Raise(kInvalidArgument);  // no array has elements of 2 GiB
  total_ = total;
  return total / desc_.cbElements;
}

void ArrayWalk::TakeData() {
  const auto total = static_cast<uint32_t>(total_);
  if ((split_.windows || memory_.SpanCopies()) && memory_.IsMapped(desc_.pvData, total)) {
    windowed_ = true;
    return;
  }
  data_ = memory_.Span(desc_.pvData, total);
}

size_t ArrayWalk::FastSlice(uint16_t type) const {
  return split_.slice_elements != 0
             ? split_.slice_elements
             : std::max<size_t>(1, kSliceChars / (WidestElement(type) + sep_.size()));
}

size_t ArrayWalk::GeneralSlice() const {
  return split_.slice_elements != 0
             ? split_.slice_elements
             : std::max<size_t>(1, kSliceChars / (kTypicalElement + sep_.size()));
}

const uint8_t* ArrayWalk::Cells(size_t first, size_t n, std::vector<uint8_t>& room) const {
  const auto stride = static_cast<size_t>(desc_.cbElements);
  if (!windowed_) return data_ + first * stride;
  // Within the data, whose bytes a uint32_t counts.
  room.resize(n * stride);
  const Address at = desc_.pvData + first * stride;
  if (!memory_.TryRead(at, room.data(), static_cast<uint32_t>(n * stride))) {
    Raise(kInvalidArgument);
  }
  return room.data();
}

size_t ArrayWalk::PlainWidth(uint16_t type, size_t count) const {
  if (!windowed_) return PlainElementsWidth(data_, type, count, sep_);
  std::vector<uint8_t> room;
  size_t width = 0;
  for (size_t done = 0, n = 0; done < count; done += n) {
    n = std::min(kSliceChars, count - done);
    width += PlainElementsWidth(Cells(done, n, room), type, n, sep_);
  }
  return width;
}

void ArrayWalk::Run(Address var, uint16_t type, Switches& s, bool halved) {
  const int32_t count = Prepare(var, s);
  if (count <= 0) return;
  ordinal_labels_ = s.Indexed && s.OrdinalPos;
  const auto element_type = static_cast<uint16_t>(type & ~vbArray);
  TakeData();
  if (!s.Indexed && !s.CharASCII) {
    // The last element's address is the highest the walk computes; past it
    // the walk would overflow like the general path does, element by element.
    const Layout& layout = memory_.layout();
    AddAddress(layout, SignedAddress(layout, desc_.pvData), MulLong(count - 1, desc_.cbElements));
    if (PlainElementsFast(element_type, static_cast<size_t>(count))) return;
  }
  const size_t slice = GeneralSlice();
  const bool splittable =
      TextIsOwnWork(element_type) || (element_type == vbString && process_.ConcurrentReads());
  if ((data_ != nullptr || windowed_) && !s.CharASCII && splittable &&
      Splits(static_cast<size_t>(count), slice)) {
    const bool labels_count = s.Indexed && !s.OrdinalPos;
    // Each element writes at least the separator; only a string can fail
    // otherwise, and one that does before the report is too long fails so.
    if (element_type != vbString) Allow(static_cast<size_t>(count) * sep_.size());
    SplitWalk(static_cast<size_t>(count), slice, sep_.size(), labels_count,
              [&](std::u16string& text, size_t before, size_t first, size_t n,
                  std::vector<int32_t>& counters, std::vector<uint8_t>& room) {
                FormatOwnElements(text, before, first, n, counters, room, element_type, s, halved);
              });
    return;
  }
  WalkInOrder(count, element_type, s, halved);
}

void ArrayWalk::WalkInOrder(int32_t count, uint16_t element_type, const Switches& s, bool halved) {
  const int32_t stride = s.CharASCII ? MulLong(desc_.cbElements, 2) : desc_.cbElements;
  const int32_t steps = s.CharASCII ? count / 2 + count % 2 : count;
  const Layout& layout = memory_.layout();
  const int64_t pv_data = SignedAddress(layout, desc_.pvData);
  // The first elements tell how wide the text runs; the room for the rest is
  // then reserved once, so a long walk neither copies its text as it grows
  // nor holds much more memory than the text needs.
  constexpr int32_t kSample = 4096;
  const size_t flushed_at_start = Produced();
  int32_t offset = 0;
  for (int32_t step = 1; step <= steps; ++step) {
    const Address at = ToAddress(layout, AddAddress(layout, pv_data, offset));
    Element(at, step, element_type, s, halved);
    Allow(0);
    MaybeFlush();
    if (step == kSample && step < steps) {
      // Sized from the text since `start`, which a sink may have taken.
      Reserve(static_cast<size_t>(EstimateRest(Produced() - flushed_at_start, kSample,
                                               static_cast<uint64_t>(steps), ordinal_labels_)));
    }
    if (step < steps) offset = AddLong(offset, stride);
  }
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

const uint8_t* ArrayWalk::WindowAt(Address at, size_t size) {
  if (at < window_at_ || at + size > window_at_ + window_.size()) {
    // The element lies in the data, which a uint32_t counts.
    const uint64_t rest = desc_.pvData + static_cast<uint32_t>(total_) - at;
    window_.resize(static_cast<size_t>(std::min<uint64_t>(kWindowBytes, rest)));
    if (!memory_.TryRead(at, window_.data(), static_cast<uint32_t>(window_.size()))) {
      Raise(kInvalidArgument);
    }
    window_at_ = at;
  }
  return window_.data() + (at - window_at_);
}

void ArrayWalk::Element(Address at, int32_t step, uint16_t type, const Switches& s, bool halved) {
  const Layout& layout = memory_.layout();
  const size_t size = CellBytes(type, desc_.cbElements, layout);
  const uint8_t* raw;
  if (data_ != nullptr) {
    raw = data_ + (at - desc_.pvData);
  } else if (windowed_ && size <= kWindowBytes) {
    raw = WindowAt(at, size);
  } else {
    // A descriptor may claim elements of up to 2 GiB: the element must be
    // there before host memory is taken for it (the read raises 5 anyway).
    if (!memory_.IsMapped(at, size)) Raise(kInvalidArgument);
    element_.resize(size);
    memory_.Read(at, element_.data(), static_cast<uint32_t>(size));
    raw = element_.data();
  }
  uint8_t cell[kMaxVariantSize] = {};
  std::memcpy(cell, raw, std::min<size_t>(size, kMaxVariantSize));
  if (s.Indexed && s.OrdinalPos) {
    layout::AppendNextIndexLabel(out_, desc_, counters_, step, true);
  } else if (s.Indexed) {
    labels_.Append(out_);
  }
  if (s.CharASCII) {
    out_.push_back(CharacterOf(type, cell));
  } else if (type == vbString) {
    AppendStringElement(out_, flushed_, cell, s.AddrLen, halved, memo_);
  } else {
    AllowStringOf(type, cell);
    AppendElementValue(out_, process_, separator_, type, cell, raw, size);
  }
  out_ += sep_;
}

void ArrayWalk::AllowStringOf(uint16_t type, const uint8_t* cell) const {
  if (type != vbVariant) return;
  const Layout& layout = memory_.layout();
  VariantImage value = VariantImage::OfType(vbString);
  value.set_pointer_size(layout.pointer_size);
  std::memcpy(value.bytes().data(), cell, layout.variant_size);
  value = Dereference(memory_, value);
  if (value.vt() == vbString) Allow(process_.SysStringByteLen(value.pointer()) / 2);
}

// The scalar line: the value's text, then for the string-like types (codes
// 8 to 15) with AddrLen the address of the data field and the text's length.
// The report is one string: `out` holds it all so far.
void AppendScalar(std::u16string& out, ClientProcess& process, Address var, uint16_t type,
                  std::u16string_view sep, bool addr_len, bool halved) {
  const VariantImage value = LoadVariant(process.memory(), var);
  CheckStringSpace(out.size(), TextLength(process, value));  // before the text takes memory
  process.AppendText(out, value);
  if (addr_len && (type & 8) != 0) {
    const Layout& layout = process.memory().layout();
    out += u"(^";
    AppendInteger(out, AddAddress(layout, SignedAddress(layout, var), kDataFieldOffset));
    out += u"/";
    AppendLength(out, process.LenB(value), halved);
    out += u")";
    out += sep;
  } else {
    out += u"\r\n";
  }
  CheckStringSpace(out.size(), 0);
}

}  // namespace

void AppendValuesInfo(std::u16string& out, ClientProcess& process, Address var,
                      std::u16string_view sep, Switches& s, ReportOutput* sink, WalkSplit split) {
  const Memory& memory = process.memory();
  // The data field's address must exist.
  AddAddress(memory.layout(), SignedAddress(memory.layout(), var), kDataFieldOffset);
  const uint16_t type = VarType(memory, LoadVariant(memory, var));
  // The length factor comes from CharASCII as passed; the switch itself is
  // kept only for types that share a bit with Byte (17).
  const bool halved = s.CharASCII && (type & 8) != 0;
  s.CharASCII = s.CharASCII && (type & 17) != 0;
  if (s.Legend) AppendLegend(out, s.Indexed, s.CharASCII, s.OrdinalPos, s.AddrLen);
  if ((type & vbArray) == 0) {
    AppendScalar(out, process, var, type, sep, s.AddrLen, halved);
    return;
  }
  ArrayWalk(process, out, sep, sink, split).Run(var, type, s, halved);
  out += u"\r\n";
}

std::u16string ValuesInfo(ClientProcess& process, Address var, std::u16string_view sep,
                          Switches& s) {
  std::u16string text;
  AppendValuesInfo(text, process, var, sep, s);
  return text;
}

}  // namespace dudUdudADOD::sections
