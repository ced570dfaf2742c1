#include "sections/fast_elements.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "automation/integer_types.h"
#include "automation/text_forms.h"
#include "automation/variant.h"

namespace dudUdudADOD::sections {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

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

}  // namespace

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

}  // namespace dudUdudADOD::sections
