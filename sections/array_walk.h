// ArrayWalk: the values section's walk over the elements of an array, in
// the order they lie in its data, as values_info.h describes its text.
//
// Internal to the values section. The walk takes the data as one run or a
// window at a time, writes every element on the calling thread, or formats
// a large array in slices on two threads and joins them in order. The walk
// on one thread and what both ways share are in array_walk.cc; the walk in
// slices, the fast path's among them, in split_walk.cc.
#ifndef DUD_SECTIONS_ARRAY_WALK_H_
#define DUD_SECTIONS_ARRAY_WALK_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/bstr.h"
#include "automation/client_process.h"
#include "automation/safe_array_desc.h"
#include "layout/next_index_label.h"
#include "sections/element_text.h"
#include "sections/report_output.h"
#include "sections/string_element.h"
#include "sections/values_info.h"

namespace dudUdudADOD::sections {

// A report is one string, so it holds at most kMaxStringChars characters. A
// walk whose text would take the report past that stops with error 14 before
// it takes the memory, however few bytes the array itself holds (a thousand
// elements may all point at one long string, or a long separator follow
// each of a million bytes).

// How much text a walk gathers before it hands it to a sink: the most
// UTF-16 a report in pieces holds at once, give or take one element.
inline constexpr size_t kFlushAt = size_t{1} << 16;

// How much text a slice of a split walk holds, about: enough that handing a
// slice to the other thread costs little beside formatting it.
inline constexpr size_t kSliceChars = size_t{1} << 18;
// About how wide an element's text runs on the general path, label and
// separator aside: slices are sized by it.
inline constexpr size_t kTypicalElement = 16;

// How much of the data a walk on one thread reads at once, where the data
// is read a piece at a time: enough that a read costs little beside what
// its elements write, little enough to stay in the cache.
inline constexpr size_t kWindowBytes = size_t{1} << 16;

// Whether an element's text is the walk's own work from its bytes alone, so
// that another thread may write it: no string or object to read through the
// process, no platform conversion.
bool TextIsOwnWork(uint16_t type);

// The widest text of one element of the fast path's types, separator aside.
size_t WidestElement(uint16_t type);

class ArrayWalk {
 public:
  ArrayWalk(automation::ClientProcess& process, std::u16string& out, std::u16string_view sep,
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
  void Run(automation::Address var, uint16_t type, Switches& s, bool halved);

 private:
  // Snapshots the descriptor and starts the counters; the element count.
  int32_t Prepare(automation::Address var, Switches& s);
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
  // Whether the address of each of `count` elements, from pvData on, is
  // computed without overflow.
  bool AddressesFit(int32_t count) const;
  // The elements of a String array on this thread, a run of cells at a
  // time as a slice of the split walk is written; false, having written
  // nothing, for labels, characters, or cells narrower than a pointer.
  bool StringsInRuns(size_t count, uint16_t element_type, const Switches& s, bool halved);
  // Every element on this thread, in the order of the data.
  void WalkInOrder(int32_t count, uint16_t element_type, const Switches& s, bool halved);
  // The `size` bytes at `at`, within the data, read a window at a time.
  const uint8_t* WindowAt(automation::Address at, size_t size);
  void Element(automation::Address at, int32_t step, uint16_t type, const Switches& s, bool halved);
  bool PlainElementsFast(uint16_t type, size_t count);
  // The elements [first, first + n) of a type whose text is the walk's own
  // work, or of Strings when the process reads from two threads at once,
  // labelled from `counters`, appended to `text`; `before` as for
  // AppendStringElement. Touches nothing of the walk but what it reads, so
  // two threads may run it at once.
  void FormatOwnElements(std::u16string& text, size_t before, size_t first, size_t n,
                         std::vector<int32_t>& counters, std::vector<uint8_t>& room, uint16_t type,
                         const Switches& s, bool halved) const;
  // The general path on two threads when the walk splits; false, having
  // written nothing, when it does not.
  bool SplitElements(size_t count, uint16_t element_type, const Switches& s, bool halved);
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
  void Allow(uint64_t more) const { automation::CheckStringSpace(Produced(), more); }
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

  automation::ClientProcess& process_;
  const automation::Memory& memory_;
  const automation::Layout& layout_;  // the memory's, which never changes
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
  automation::SafeArrayDesc desc_;
  std::vector<int32_t> counters_;
  layout::IndexLabelWriter labels_{desc_, counters_};  // the one-thread walk's labels
  const uint8_t* data_ = nullptr;  // the whole data as one host run, when it is one
  bool windowed_ = false;          // the data is read a slice at a time instead
  int32_t total_ = 0;              // the data's bytes
  std::vector<uint8_t> element_;   // an element read piece by piece otherwise
  std::vector<uint8_t> window_;    // the data from window_at_ on, windowed_ on one thread
  automation::Address window_at_ = 0;
  std::array<char16_t, 256> ansi_{};
  std::array<bool, 256> ansi_known_{};  // codes whose character has been asked
};

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_ARRAY_WALK_H_
