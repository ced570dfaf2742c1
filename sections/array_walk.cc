#include "sections/array_walk.h"

#include <algorithm>
#include <cstring>

#include "automation/checked_math.h"
#include "automation/conversions.h"
#include "automation/integer_types.h"
#include "automation/runtime_error.h"
#include "automation/variant.h"
#include "sections/fast_elements.h"
#include "sections/text_estimate.h"

namespace dudUdudADOD::sections {

using namespace automation;  // the platform model is this file's vocabulary

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

size_t WidestElement(uint16_t type) {
  if (IsOtherInteger(type)) return WidestWhole(type);
  return type == vbByte ? 3 : type == vbInteger ? 6 : 11;  // "255", "-32768", "-2147483648"
}

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
  // The walks that take the elements out of order or all at once (the fast
  // path, slices on two threads) need every element's address to fit. When
  // one does not, the walk in order overflows at that element, as the
  // process does, after whatever fails in the elements before it.
  if (AddressesFit(count)) {
    if (!s.Indexed && !s.CharASCII && PlainElementsFast(element_type, static_cast<size_t>(count))) {
      return;
    }
    if (SplitElements(static_cast<size_t>(count), element_type, s, halved)) return;
    if (StringsInRuns(static_cast<size_t>(count), element_type, s, halved)) return;
  }
  WalkInOrder(count, element_type, s, halved);
}

// An array too short to split writes its strings as a slice is written, not
// through one element's text at a time, which costs several times as much.
// The text is checked against a string's length after each run as after
// each element in order: AppendCells raises before the element that would
// find the report already too long.
bool ArrayWalk::StringsInRuns(size_t count, uint16_t element_type, const Switches& s, bool halved) {
  const auto stride = static_cast<size_t>(desc_.cbElements);
  if (element_type != vbString || s.Indexed || s.CharASCII || (data_ == nullptr && !windowed_) ||
      stride < layout_.pointer_size) {
    return false;
  }
  // With a sink, a run fills at most a piece with short strings, and the
  // text before it goes first when the two would not fit one piece
  // together: the report's room is handed on and reused, not grown into
  // fresh memory.
  const size_t widest = StringElement::kShortWidest + sep_.size();
  const size_t run = sink_ != nullptr ? std::max<size_t>(1, kFlushAt / widest) : GeneralSlice();
  const size_t produced_at_start = Produced();
  std::vector<uint8_t> room;
  for (size_t done = 0, n = 0; done < count; done += n) {
    n = std::min(run, count - done);
    if (sink_ != nullptr && !out_.empty() && out_.size() + n * widest > kFlushAt) Flush();
    strings_.AppendCells(out_, flushed_, Cells(done, n, room), n, stride, sep_, s.AddrLen, halved,
                         memo_);
    Allow(0);
    if (done == 0 && n < count) {
      Reserve(static_cast<size_t>(EstimateRest(Produced() - produced_at_start, n, count, false)));
    }
    MaybeFlush();
  }
  return true;
}

bool ArrayWalk::AddressesFit(int32_t count) const {
  const Layout& layout = memory_.layout();
  const int64_t span = int64_t{count - 1} * desc_.cbElements;  // below 2^62
  int64_t last;
  return !__builtin_add_overflow(SignedAddress(layout, desc_.pvData), span, &last) &&
         (layout.pointer_size != 4 || last <= INT32_MAX);
}

void ArrayWalk::WalkInOrder(int32_t count, uint16_t element_type, const Switches& s, bool halved) {
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
    // The step is computed where the process computes it, after the
    // element: a walk of one element never doubles its size.
    if (step < steps) {
      offset = AddLong(offset, s.CharASCII ? MulLong(desc_.cbElements, 2) : desc_.cbElements);
    }
  }
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

}  // namespace dudUdudADOD::sections
