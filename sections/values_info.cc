#include "sections/values_info.h"

#include <algorithm>
#include <array>
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
#include "sections/side_thread.h"

namespace dudUdudADOD::sections {

using namespace automation;  // NOLINT: the platform model is this file's vocabulary

namespace {

void AppendBoolean(std::u16string& out, bool value) { out += value ? u"True" : u"False"; }

// The string address at the start of an element cell, of the pointer's width.
Address CellPointer(const Layout& layout, const uint8_t* cell) {
  Address at = 0;
  for (uint32_t i = 0; i < layout.pointer_size; ++i) at |= Address{cell[i]} << (8 * i);
  return at;
}

// A byte length times the length factor: "6", or "2.5" for half of an odd one.
void AppendLength(std::u16string& out, uint32_t length, bool halved) {
  AppendInteger(out, halved ? length / 2 : length);
  if (halved && length % 2 != 0) out += u".5";
}

// "(^address/length)" after a string, sized once and written through a
// pointer: the values walk writes it for every String element.
void AppendAddressAndLength(std::u16string& out, int64_t address, uint32_t bytes, bool halved) {
  const uint32_t length = halved ? bytes / 2 : bytes;
  const bool half = halved && bytes % 2 != 0;
  // Sized for the widest and cut to what was written: counting the digits
  // first would count them twice.
  constexpr size_t kWidest = 2 + 20 + 1 + 10 + 2 + 1;  // "(^", address, "/", length, ".5", ")"
  const size_t start = out.size();
  out.resize(start + kWidest);
  char16_t* p = out.data() + start;
  *p++ = u'(';
  *p++ = u'^';
  p = WriteInteger(p, address);
  *p++ = u'/';
  p = WriteInteger(p, length);
  if (half) {
    *p++ = u'.';
    *p++ = u'5';
  }
  *p++ = u')';
  out.resize(static_cast<size_t>(p - out.data()));
}

void AppendLegend(std::u16string& out, bool indexed, bool char_ascii, bool ordinal, bool addr_len) {
  out += u"Legend: Indexed=";
  AppendBoolean(out, indexed);
  out += u", CharASCII=";
  AppendBoolean(out, char_ascii);
  out += u", OrdinalPos=";
  AppendBoolean(out, ordinal);
  out += u", (^Address/LenB)=";
  AppendBoolean(out, addr_len);
  out += u"\r\n";
}

// A Variant element shows its own value's text. Where the platform has no text
// (Null, an array, an object without a default value, Nothing) it shows the
// value's type name instead, so one odd element does not hide the others.
void AppendVariantElement(std::u16string& out, const ClientProcess& process,
                          const VariantImage& v) {
  const VariantImage value = Dereference(process.memory(), v);
  const uint16_t vt = value.vt();
  // Nothing (address 0) and stray addresses find no object either.
  const bool textless_object =
      (vt == vbObject || vt == vbDataObject) && !process.HasDefaultValue(value.pointer());
  const bool unknown_type = vt > vbByte && !IsIntegerType(vt);
  if (vt == vbNull || (vt & vbArray) != 0 || unknown_type || textless_object) {
    out += process.TypeName(value);
    return;
  }
  process.AppendText(out, value);
}

// Elements of a user-defined or unknown type have no value text: their bytes
// are shown in hex, two digits each, so nothing in them is taken for an
// address.
void AppendHexBytes(std::u16string& out, const uint8_t* bytes, size_t count) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  for (size_t i = 0; i < count; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
}

}  // namespace

namespace {

// A Single, Double or Currency element, written by the walk itself and not
// by the platform, with the decimal separator of the platform's texts: the
// same value reads the same in a typed array as in a Variant or a scalar.
void AppendFraction(std::u16string& out, char16_t separator, uint16_t type, const uint8_t* cell) {
  const size_t start = out.size();
  if (type == vbSingle) {
    float v;
    std::memcpy(&v, cell, 4);
    AppendSingle(out, v);
  } else if (type == vbDouble) {
    double v;
    std::memcpy(&v, cell, 8);
    AppendDouble(out, v);
  } else {
    int64_t v;
    std::memcpy(&v, cell, 8);
    AppendCurrency(out, v);
  }
  UseDecimalSeparator(out, start, separator);
}

// One element's value text from its raw bytes (`cell` holds the first bytes
// of the element, zero-padded to a variant of the largest platform; `raw`
// all `raw_size` of them; `separator` the process's decimal separator).
void AppendElementValue(std::u16string& out, const ClientProcess& process, char16_t separator,
                        uint16_t type, const uint8_t* cell, const uint8_t* raw, size_t raw_size) {
  const Layout& layout = process.memory().layout();
  VariantImage image = VariantImage::OfType(type);
  image.set_pointer_size(layout.pointer_size);
  switch (type) {
    case vbByte:
      AppendInteger(out, cell[0]);
      return;
    case vbInteger:
      AppendInteger(out, static_cast<int16_t>(cell[0] | (cell[1] << 8)));
      return;
    case vbLong: {
      int32_t v;
      std::memcpy(&v, cell, 4);
      AppendInteger(out, v);
      return;
    }
    case vbSByte:
    case vbUShort:
    case vbUInteger:
    case vbLongLong:
    case vbULong:
    case vbInt:
    case vbUInt:
      AppendWhole(out, ReadWhole(type, cell));
      return;
    case vbBoolean:
      AppendBoolean(out, (cell[0] | cell[1]) != 0);
      return;
    case vbString:
      process.AppendString(out, CellPointer(layout, cell));
      return;
    case vbEmpty:
      return;
    case vbNull:
      Raise(kInvalidUseOfNull);
    case vbVariant:
      std::memcpy(image.bytes().data(), cell, layout.variant_size);
      AppendVariantElement(out, process, image);
      return;
    case vbDecimal:
      std::memcpy(image.bytes().data(), cell, kDecimalSize);
      image.set_vt(vbDecimal);
      process.AppendText(out, image);
      return;
    case vbSingle:
    case vbDouble:
    case vbCurrency:
      AppendFraction(out, separator, type, cell);
      return;
    case vbDate:
    case vbObject:
    case vbDataObject:
    case vbError:
      std::memcpy(image.data_field(), cell, 8);
      process.AppendText(out, image);
      return;
    default:
      AppendHexBytes(out, raw, raw_size);
      return;
  }
}

// The bytes of an element held in the element cell: a Variant fills a whole
// variant of the platform (16 or 24), a Decimal 16, every value type at most
// 8. Elements of other types are shown byte by byte and keep their whole
// size.
size_t CellBytes(uint16_t type, int32_t element_size, const Layout& layout) {
  const auto size = static_cast<size_t>(element_size);
  if (type == vbVariant) return std::min<size_t>(size, layout.variant_size);
  if (type == vbDecimal) return std::min<size_t>(size, kDecimalSize);
  if (StorageSize(type, layout) != 0 || type == vbEmpty || type == vbNull) {
    return std::min<size_t>(size, 8);
  }
  return size;
}

// The fast path of the walk: arrays of the integer types with no labels and
// no characters, which is where very large arrays are met. The
// output is sized once for the widest possible text and written through a
// pointer; the text is exactly what the general path writes.

// The digits of every byte value, padded to three characters, and their count.
struct ByteDigits {
  char16_t chars[3];
  uint8_t length;
};

constexpr std::array<ByteDigits, 256> MakeByteDigits() {
  std::array<ByteDigits, 256> table{};
  for (int v = 0; v < 256; ++v) {
    ByteDigits& d = table[static_cast<size_t>(v)];
    const int hundreds = v / 100, tens = v / 10 % 10, ones = v % 10;
    int n = 0;
    if (hundreds != 0) d.chars[n++] = static_cast<char16_t>(u'0' + hundreds);
    if (hundreds != 0 || tens != 0) d.chars[n++] = static_cast<char16_t>(u'0' + tens);
    d.chars[n++] = static_cast<char16_t>(u'0' + ones);
    d.length = static_cast<uint8_t>(n);
  }
  return table;
}
constexpr std::array<ByteDigits, 256> kByteDigits = MakeByteDigits();

// Writes `sep` at `p` and returns its end.
inline char16_t* PutSeparator(char16_t* p, std::u16string_view sep) {
  if (sep.size() == 1) {
    *p = sep[0];
    return p + 1;
  }
  std::copy(sep.begin(), sep.end(), p);
  return p + sep.size();
}

// The text of every byte value followed by a one-character separator, four
// characters packed in 64 bits (digits, separator, padding), so that an
// element is one store.
struct PackedBytes {
  uint64_t text[256];
  uint8_t length[256];  // digits and separator
};

PackedBytes PackBytes(char16_t sep) {
  PackedBytes packed{};
  for (size_t v = 0; v < 256; ++v) {
    char16_t chars[4] = {};
    const ByteDigits& d = kByteDigits[v];
    for (size_t k = 0; k < d.length; ++k) chars[k] = d.chars[k];
    chars[d.length] = sep;
    std::memcpy(&packed.text[v], chars, sizeof chars);
    packed.length[v] = static_cast<uint8_t>(d.length + 1);
  }
  return packed;
}

// `exact`: size the text by counting its digits first, which costs a table
// lookup a byte and saves touching memory the text would not use (for a
// whole report of a huge array, pages are the cost). A report taken in
// pieces reuses one small buffer, where the widest size costs nothing.
// The digits of `count` elements of the fast path's types, separators aside.
size_t DigitsOfBytes(const uint8_t* data, size_t count) {
  size_t digits = 0;
  for (size_t i = 0; i < count; ++i) digits += kByteDigits[data[i]].length;
  return digits;
}

template <typename T>
size_t DigitsOfIntegers(const uint8_t* data, size_t count) {
  size_t digits = 0;
  for (size_t i = 0; i < count; ++i) {
    T v;
    std::memcpy(&v, data + i * sizeof(T), sizeof(T));
    digits += IntegerWidth(v);
  }
  return digits;
}

void AppendBytesFast(std::u16string& out, const uint8_t* data, size_t count,
                     std::u16string_view sep, bool exact) {
  size_t room = count * (3 + sep.size());
  if (exact) room = count * sep.size() + DigitsOfBytes(data, count);
  const size_t start = out.size();
  out.resize(start + room + 4);  // 4: room for the last element's packed store
  char16_t* p = out.data() + start;
  // Packing the table costs about what 256 elements do: a short row of
  // bytes (every report has several) is written from the digits alone.
  if (sep.size() == 1 && count >= 256) {
    const PackedBytes packed = PackBytes(sep[0]);
    for (size_t i = 0; i < count; ++i) {
      std::memcpy(p, &packed.text[data[i]], sizeof(uint64_t));
      p += packed.length[data[i]];
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      const ByteDigits& d = kByteDigits[data[i]];
      p[0] = d.chars[0];  // always three characters; the separator covers the rest
      p[1] = d.chars[1];
      p[2] = d.chars[2];
      p = PutSeparator(p + d.length, sep);
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

// The room past the text that WriteInteger32 may use as scratch.
constexpr size_t kIntegerScratch = 16;

template <typename T>
void AppendIntegersFast(std::u16string& out, const uint8_t* data, size_t count,
                        std::u16string_view sep, bool exact) {
  size_t room = count * (sizeof(T) == 2 ? 6 : 11) + count * sep.size();
  if (exact) room = count * sep.size() + DigitsOfIntegers<T>(data, count);
  const size_t start = out.size();
  out.resize(start + room + kIntegerScratch);
  char16_t* p = out.data() + start;
  for (size_t i = 0; i < count; ++i) {
    T v;
    std::memcpy(&v, data + i * sizeof(T), sizeof(T));
    p = PutSeparator(WriteInteger32(p, v), sep);
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

// The integer types beyond Byte, Integer and Long (integer_types.h), read
// as sign and magnitude whatever their width, and their widest texts:
// "-128", "65535", "4294967295", "-2147483648", "-9223372036854775808",
// "18446744073709551615".
bool IsOtherInteger(uint16_t type) {
  return IsIntegerType(type) && type != vbByte && type != vbInteger && type != vbLong;
}

size_t WidestWhole(uint16_t type) {
  switch (type) {
    case vbSByte:
      return 4;
    case vbUShort:
      return 5;
    case vbUInteger:
    case vbUInt:
      return 10;
    case vbInt:
      return 11;
    default:
      return 20;  // LongLong, ULong
  }
}

size_t DigitsOfWholes(const uint8_t* data, uint16_t type, size_t count) {
  const size_t size = StorageSize(type, kWin32Layout);
  size_t digits = 0;
  for (size_t i = 0; i < count; ++i) {
    const WholeNumber v = ReadWhole(type, data + i * size);
    digits += SignAndMagnitudeWidth(v.negative, v.magnitude);
  }
  return digits;
}

void AppendWholesFast(std::u16string& out, const uint8_t* data, uint16_t type, size_t count,
                      std::u16string_view sep, bool exact) {
  const size_t size = StorageSize(type, kWin32Layout);
  size_t room = count * (WidestWhole(type) + sep.size());
  if (exact) room = count * sep.size() + DigitsOfWholes(data, type, count);
  const size_t start = out.size();
  out.resize(start + room);
  char16_t* p = out.data() + start;
  for (size_t i = 0; i < count; ++i) {
    const WholeNumber v = ReadWhole(type, data + i * size);
    p = PutSeparator(WriteSignAndMagnitude(p, v.negative, v.magnitude), sep);
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

// Whether the fast path writes elements of this type and size: the integer
// types, whose sizes are the same on every platform.
bool FastPathFits(uint16_t type, int32_t element_size) {
  return IsIntegerType(type) &&
         static_cast<uint32_t>(element_size) == StorageSize(type, kWin32Layout);
}

// Whether labelled elements of this type and size are written through a
// pointer (AppendLabelledIntegers): the 32-bit writer's Byte, Integer, Long.
bool LabelledFastPathFits(uint16_t type, int32_t element_size) {
  return !IsOtherInteger(type) && FastPathFits(type, element_size);
}

// The text the fast path writes for `count` elements, counted.
size_t PlainElementsWidth(const uint8_t* data, uint16_t type, size_t count,
                          std::u16string_view sep) {
  const size_t digits = type == vbByte      ? DigitsOfBytes(data, count)
                        : type == vbInteger ? DigitsOfIntegers<int16_t>(data, count)
                        : type == vbLong    ? DigitsOfIntegers<int32_t>(data, count)
                                            : DigitsOfWholes(data, type, count);
  return digits + count * sep.size();
}

void AppendPlainElementsFast(std::u16string& out, const uint8_t* data, uint16_t type, size_t count,
                             std::u16string_view sep, bool exact) {
  if (type == vbByte) {
    AppendBytesFast(out, data, count, sep, exact);
  } else if (type == vbInteger) {
    AppendIntegersFast<int16_t>(out, data, count, sep, exact);
  } else if (type == vbLong) {
    AppendIntegersFast<int32_t>(out, data, count, sep, exact);
  } else {
    AppendWholesFast(out, data, type, count, sep, exact);
  }
}

// Byte, Integer and Long elements with index labels, written through a
// pointer in chunks sized for their widest text.
void AppendLabelledIntegers(std::u16string& out, const uint8_t* data, uint16_t type, size_t count,
                            layout::IndexLabelWriter& labels, std::u16string_view sep) {
  const size_t size = StorageSize(type, kWin32Layout);
  const size_t widest = labels.Widest() + 11 + sep.size() + kIntegerScratch;
  const size_t chunk = std::max<size_t>(1, (size_t{1} << 16) / widest);
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(chunk, count - done);
    const size_t start = out.size();
    out.resize(start + n * widest);
    char16_t* p = out.data() + start;
    for (const size_t end = done + n; done < end; ++done) {
      const uint8_t* cell = data + done * size;
      int32_t value = cell[0];
      if (type == vbInteger) value = static_cast<int16_t>(cell[0] | (cell[1] << 8));
      if (type == vbLong) std::memcpy(&value, cell, 4);
      p = PutSeparator(WriteInteger32(labels.Write(p), value), sep);
    }
    out.resize(static_cast<size_t>(p - out.data()));
  }
}

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

// The widest text of one element of the fast path's types, separator aside.
size_t WidestElement(uint16_t type) {
  if (IsOtherInteger(type)) return WidestWhole(type);
  return type == vbByte ? 3 : type == vbInteger ? 6 : 11;  // "255", "-32768", "-2147483648"
}

class ArrayWalk {
 public:
  ArrayWalk(ClientProcess& process, std::u16string& out, std::u16string_view sep,
            const ReportSink* sink, WalkSplit split)
      : process_(process),
        memory_(process.memory()),
        out_(out),
        sep_(sep),
        sink_(sink),
        split_(split),
        separator_(process.DecimalSeparator()) {}

  void Run(Address var, uint16_t type, bool indexed, bool char_ascii, bool& ordinal, bool addr_len,
           bool halved);

 private:
  void Element(Address at, int32_t step, uint16_t type, bool indexed, bool char_ascii, bool ordinal,
               bool addr_len, bool halved);
  bool PlainElementsFast(uint16_t type, size_t count);
  // The elements [first, first + n) of a type whose text is the walk's own
  // work, or of Strings when the process reads from two threads at once,
  // labelled from `counters`, appended to `text`; `before` as for
  // AppendStringElement. Touches nothing of the walk but what it reads, so
  // two threads may run it at once.
  void FormatOwnElements(std::u16string& text, size_t before, size_t first, size_t n,
                         std::vector<int32_t>& counters, uint16_t type, bool indexed, bool ordinal,
                         bool addr_len, bool halved) const;
  // Whether a walk of `count` elements in slices of `slice` is split.
  bool Splits(size_t count, size_t slice) const {
    return split_.second_thread && count / 2 >= slice;
  }
  // Formats the elements in pairs of slices, the first on this thread and
  // the second on a side thread, and hands both on in order. `format` is
  // called as FormatOwnElements is; `least` is the fewest characters an
  // element writes. `advance` says whether labels move the counters.
  template <typename Format>
  void SplitWalk(size_t count, size_t slice, size_t least, bool advance, const Format& format);
  // Appends or hands on a slice formatted on the side thread.
  void Emit(std::u16string& text);
  void MaybeFlush() {
    if (sink_ != nullptr && out_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    flushed_ += out_.size();
    (*sink_)(out_);
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
  void AppendStringElement(std::u16string& text, size_t before, const uint8_t* cell, bool addr_len,
                           bool halved) const;
  // Allows for the text of a Variant element that holds a string, before the
  // text takes memory (String elements allow for theirs as they read the
  // length); other elements' texts are short.
  void AllowStringOf(uint16_t type, const uint8_t* cell) const;

  ClientProcess& process_;
  const Memory& memory_;
  std::u16string& out_;
  std::u16string_view sep_;
  const ReportSink* sink_;
  WalkSplit split_;
  const char16_t separator_;  // asked once per walk, not per element
  size_t flushed_ = 0;        // characters already handed to the sink
  SafeArrayDesc desc_;
  std::vector<int32_t> counters_;
  layout::IndexLabelWriter labels_{desc_, counters_};  // the one-thread walk's labels
  const uint8_t* data_ = nullptr;  // the whole data as one host run, when it is one
  std::vector<uint8_t> element_;   // an element read piece by piece otherwise
};

void ArrayWalk::Run(Address var, uint16_t type, bool indexed, bool char_ascii, bool& ordinal,
                    bool addr_len, bool halved) {
  int32_t total = 0;
  SnapshotSafeArrayDesc(memory_, DescriptorCell(memory_, var), desc_, total);
  const auto element_type = static_cast<uint16_t>(type & ~vbArray);
  if (desc_.cDims == 1) ordinal = true;
  if (indexed && desc_.cDims > 1) {
    if (desc_.cDims > kMaxDims) Raise(kSubscriptOutOfRange);
    for (size_t k = 0; k < static_cast<size_t>(desc_.cDims); ++k) {
      counters_.push_back(desc_.rgsabound[k].lLbound);
    }
  }
  // The element count is total / cbElements; an array without storage has
  // 0 / 0, which the platform reports as an overflow.
  if (desc_.cbElements == 0) Raise(kOverflow);
  if (desc_.cbElements < 0) Raise(kInvalidArgument);  // no array has elements of 2 GiB
  const int32_t count = total / desc_.cbElements;
  if (count <= 0) return;
  data_ = memory_.Span(desc_.pvData, static_cast<uint32_t>(total));
  const int32_t stride = char_ascii ? MulLong(desc_.cbElements, 2) : desc_.cbElements;
  const int32_t steps = char_ascii ? count / 2 + count % 2 : count;
  const Layout& layout = memory_.layout();
  const int64_t pv_data = SignedAddress(layout, desc_.pvData);
  if (!indexed && !char_ascii) {
    // The last element's address is the highest the walk computes; past it
    // the walk would overflow like the general path does, element by element.
    AddAddress(layout, pv_data, MulLong(count - 1, desc_.cbElements));
    if (PlainElementsFast(element_type, static_cast<size_t>(count))) return;
  }
  const size_t slice = split_.slice_elements != 0
                           ? split_.slice_elements
                           : std::max<size_t>(1, kSliceChars / (kTypicalElement + sep_.size()));
  const bool splittable =
      TextIsOwnWork(element_type) || (element_type == vbString && process_.ConcurrentReads());
  if (data_ != nullptr && !char_ascii && splittable && Splits(static_cast<size_t>(count), slice)) {
    const bool labels_count = indexed && !ordinal;
    // Each element writes at least the separator; only a string can fail
    // otherwise, and one that does before the report is too long fails so.
    if (element_type != vbString) Allow(static_cast<size_t>(count) * sep_.size());
    SplitWalk(static_cast<size_t>(count), slice, sep_.size(), labels_count,
              [&](std::u16string& text, size_t before, size_t first, size_t n,
                  std::vector<int32_t>& counters) {
                FormatOwnElements(text, before, first, n, counters, element_type, indexed, ordinal,
                                  addr_len, halved);
              });
    return;
  }
  // The first elements tell how wide the text runs; the room for the rest is
  // then reserved once, so a long walk neither copies its text as it grows
  // nor holds much more memory than the text needs.
  constexpr int32_t kSample = 4096;
  const size_t start = out_.size();
  int32_t offset = 0;
  for (int32_t step = 1; step <= steps; ++step) {
    const Address at = ToAddress(layout, AddAddress(layout, pv_data, offset));
    Element(at, step, element_type, indexed, char_ascii, ordinal, addr_len, halved);
    Allow(0);
    MaybeFlush();
    if (step == kSample && step < steps && sink_ == nullptr) {
      const size_t per_step = (out_.size() - start) / kSample + 1;
      const auto rest = static_cast<size_t>(steps - step);
      out_.reserve(out_.size() + rest * per_step + rest * per_step / 8);
    }
    if (step < steps) offset = AddLong(offset, stride);
  }
}

// The fast path, in chunks when a sink takes the text as it comes. A chunk
// is as many elements as fill the rest of a piece, counted at their widest,
// so that a long separator makes a chunk of fewer elements, not a longer
// piece.
bool ArrayWalk::PlainElementsFast(uint16_t type, size_t count) {
  if (data_ == nullptr || !FastPathFits(type, desc_.cbElements)) return false;
  const size_t widest = WidestElement(type) + sep_.size();
  const auto size = static_cast<size_t>(desc_.cbElements);
  const bool exact = sink_ == nullptr;
  const size_t slice = split_.slice_elements != 0 ? split_.slice_elements
                                                  : std::max<size_t>(1, kSliceChars / widest);
  if (Splits(count, slice)) {
    // Every element writes a digit and the separator: a walk that must pass
    // a string's length fails before it takes the memory. The whole report
    // takes its room once, as the one-thread walk does: growing by halves
    // would hold up to twice the text while it copies.
    // The digits are counted once, here; a slice is then written into room
    // for its widest text, which the reserve covers for the last one too.
    Allow(count * (sep_.size() + 1));
    if (exact) {
      const size_t width = PlainElementsWidth(data_, type, count, sep_);
      Allow(width);
      out_.reserve(out_.size() + width + slice * widest + kIntegerScratch);
    }
    SplitWalk(count, slice, sep_.size() + 1, false,
              [&](std::u16string& text, size_t, size_t first, size_t n, std::vector<int32_t>&) {
                AppendPlainElementsFast(text, data_ + first * size, type, n, sep_, false);
              });
    return true;
  }
  // With a sink, a chunk is the elements that fill a whole piece at their
  // widest; the text before it goes first when the two would not fit one
  // piece together.
  const size_t chunk = sink_ != nullptr ? std::max<size_t>(1, kFlushAt / widest) : count;
  for (size_t done = 0, n = 0; done < count; done += n) {
    n = std::min(chunk, count - done);
    if (sink_ != nullptr && !out_.empty() && out_.size() + n * widest > kFlushAt) Flush();
    Allow(n * (sep_.size() + 1));  // every element writes a digit and the separator
    AppendPlainElementsFast(out_, data_ + done * size, type, n, sep_, exact);
    Allow(0);
    MaybeFlush();
  }
  return true;
}

void ArrayWalk::FormatOwnElements(std::u16string& text, size_t before, size_t first, size_t n,
                                  std::vector<int32_t>& counters, uint16_t type, bool indexed,
                                  bool ordinal, bool addr_len, bool halved) const {
  const size_t size = CellBytes(type, desc_.cbElements, memory_.layout());
  const auto stride = static_cast<size_t>(desc_.cbElements);
  layout::IndexLabelWriter labels(desc_, counters);
  if (indexed && !ordinal && LabelledFastPathFits(type, desc_.cbElements)) {
    AppendLabelledIntegers(text, data_ + first * stride, type, n, labels, sep_);
    return;
  }
  for (size_t i = first; i < first + n; ++i) {
    const uint8_t* raw = data_ + i * stride;
    uint8_t cell[kMaxVariantSize] = {};
    std::memcpy(cell, raw, std::min<size_t>(size, kMaxVariantSize));
    if (indexed && ordinal) {
      layout::AppendNextIndexLabel(text, desc_, counters, static_cast<int32_t>(i + 1), true);
    } else if (indexed) {
      labels.Append(text);
    }
    if (type == vbString) {
      AppendStringElement(text, before, cell, addr_len, halved);
    } else {
      AppendElementValue(text, process_, separator_, type, cell, raw, size);
    }
    text += sep_;
  }
}

template <typename Format>
void ArrayWalk::SplitWalk(size_t count, size_t slice, size_t least, bool advance,
                          const Format& format) {
  std::u16string theirs;
  std::vector<int32_t> their_counters;
  SideThread side;  // declared last: its end waits for a job that writes the two above
  const size_t start = out_.size();
  for (size_t done = 0; done < count;) {
    if (sink_ == nullptr && done != 0 && done == 2 * slice) {
      // The first pair of slices tells how wide the text runs: the room for
      // the rest is taken once (no-op when the caller sized it already).
      const size_t per_element = (out_.size() - start) / done + 1;
      const size_t rest = (count - done) * per_element;
      out_.reserve(out_.size() + rest + rest / 8);
    }
    const size_t mine = std::min(slice, count - done);
    const size_t other = std::min(slice, count - done - mine);
    Allow((mine + other) * least);
    if (other != 0) {
      their_counters = counters_;
      for (size_t i = 0; advance && i < mine; ++i) {
        layout::AdvanceIndexCounters(desc_, their_counters);
      }
      // The side thread cannot know what the report holds by the time its
      // slice joins: it checks its text alone, and the join checks it all.
      side.Start([&theirs, &their_counters, &format, first = done + mine, other] {
        theirs.clear();
        format(theirs, 0, first, other, their_counters);
      });
    }
    format(out_, flushed_, done, mine, counters_);
    Allow(0);
    if (sink_ != nullptr) Flush();
    if (other != 0) {
      try {
        side.Wait();
      } catch (...) {
        // Text before the failing element that passes a string's length
        // fails first, as it would on one thread.
        Allow(theirs.size());
        throw;
      }
      counters_.swap(their_counters);
      Emit(theirs);
    }
    done += mine + other;
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
  (*sink_)(text);
  flushed_ -= text.size();
  out_ += text;
}

void ArrayWalk::Element(Address at, int32_t step, uint16_t type, bool indexed, bool char_ascii,
                        bool ordinal, bool addr_len, bool halved) {
  const Layout& layout = memory_.layout();
  const size_t size = CellBytes(type, desc_.cbElements, layout);
  const uint8_t* raw;
  if (data_ != nullptr) {
    raw = data_ + (at - desc_.pvData);
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
  if (indexed && ordinal) {
    layout::AppendNextIndexLabel(out_, desc_, counters_, step, true);
  } else if (indexed) {
    labels_.Append(out_);
  }
  if (char_ascii) {
    VariantImage image = VariantImage::OfType(type);
    std::memcpy(image.data_field(), cell, 8);
    out_.push_back(process_.AnsiChar(process_.ToLong(image)));
  } else if (type == vbString) {
    AppendStringElement(out_, flushed_, cell, addr_len, halved);
  } else {
    AllowStringOf(type, cell);
    AppendElementValue(out_, process_, separator_, type, cell, raw, size);
  }
  out_ += sep_;
}

void ArrayWalk::AppendStringElement(std::u16string& text, size_t before, const uint8_t* cell,
                                    bool addr_len, bool halved) const {
  // The length prefix is read once for the room, the text and the length.
  const Layout& layout = memory_.layout();
  const Address bstr = CellPointer(layout, cell);
  const uint32_t bytes = process_.SysStringByteLen(bstr);
  CheckStringSpace(before + text.size(), bytes / 2);
  AppendUtf16Bytes(text, memory_, bstr, bytes);
  if (addr_len) AppendAddressAndLength(text, SignedAddress(layout, bstr), bytes, halved);
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
                      std::u16string_view sep, bool Indexed, bool& CharASCII, bool& OrdinalPos,
                      bool AddrLen, bool Legend, const ReportSink* sink, WalkSplit split) {
  const Memory& memory = process.memory();
  // The data field's address must exist.
  AddAddress(memory.layout(), SignedAddress(memory.layout(), var), kDataFieldOffset);
  const uint16_t type = VarType(memory, LoadVariant(memory, var));
  // The length factor comes from CharASCII as passed; the switch itself is
  // kept only for types that share a bit with Byte (17).
  const bool halved = CharASCII && (type & 8) != 0;
  CharASCII = CharASCII && (type & 17) != 0;
  if (Legend) AppendLegend(out, Indexed, CharASCII, OrdinalPos, AddrLen);
  if ((type & vbArray) == 0) {
    AppendScalar(out, process, var, type, sep, AddrLen, halved);
    return;
  }
  ArrayWalk(process, out, sep, sink, split)
      .Run(var, type, Indexed, CharASCII, OrdinalPos, AddrLen, halved);
  out += u"\r\n";
}

void AppendElementText(std::u16string& out, const ClientProcess& process, uint16_t type,
                       const uint8_t* raw, size_t raw_size) {
  uint8_t cell[kMaxVariantSize] = {};
  std::memcpy(cell, raw, std::min<size_t>(raw_size, kMaxVariantSize));
  AppendElementValue(out, process, process.DecimalSeparator(), type, cell, raw, raw_size);
}

size_t ElementTextBytes(uint16_t type, int32_t element_size, const Layout& layout) {
  return CellBytes(type, element_size, layout);
}

std::u16string ValuesInfo(ClientProcess& process, Address var, std::u16string_view sep,
                          bool Indexed, bool& CharASCII, bool& OrdinalPos, bool AddrLen,
                          bool Legend) {
  std::u16string text;
  AppendValuesInfo(text, process, var, sep, Indexed, CharASCII, OrdinalPos, AddrLen, Legend);
  return text;
}

}  // namespace dudUdudADOD::sections
