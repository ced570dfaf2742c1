// The fast path of the values walk: arrays of the integer types with no
// labels and no characters, which is where very large arrays are met, and
// labelled Byte, Integer and Long elements. The output is sized once for the
// widest possible text and written through a pointer, bytes from a table of
// packed texts; the text is exactly what the general path writes.
#ifndef DUD_SECTIONS_FAST_ELEMENTS_H_
#define DUD_SECTIONS_FAST_ELEMENTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "layout/next_index_label.h"

namespace dudUdudADOD::sections {

// The room past the text that WriteInteger32 may use as scratch.
inline constexpr size_t kIntegerScratch = 16;

// The integer types beyond Byte, Integer and Long (integer_types.h), read
// as sign and magnitude whatever their width, and their widest texts:
// "-128", "65535", "4294967295", "-2147483648", "-9223372036854775808",
// "18446744073709551615".
bool IsOtherInteger(uint16_t type);

size_t WidestWhole(uint16_t type);

// Whether the fast path writes elements of this type and size: the integer
// types, whose sizes are the same on every platform.
bool FastPathFits(uint16_t type, int32_t element_size);

// Whether labelled elements of this type and size are written through a
// pointer (AppendLabelledIntegers): the 32-bit writer's Byte, Integer, Long.
bool LabelledFastPathFits(uint16_t type, int32_t element_size);

// The text the fast path writes for `count` elements, counted.
size_t PlainElementsWidth(const uint8_t* data, uint16_t type, size_t count,
                          std::u16string_view sep);

void AppendPlainElementsFast(std::u16string& out, const uint8_t* data, uint16_t type, size_t count,
                             std::u16string_view sep, bool exact);

// Byte, Integer and Long elements with index labels, written through a
// pointer in chunks sized for their widest text.
void AppendLabelledIntegers(std::u16string& out, const uint8_t* data, uint16_t type, size_t count,
                            layout::IndexLabelWriter& labels, std::u16string_view sep);
}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_FAST_ELEMENTS_H_
