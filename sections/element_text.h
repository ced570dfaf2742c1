// ElementText: the text of one element of an array as the values section
// writes it, from the element's bytes, and the pieces around it (a string's
// address and length, the legend). The values walk (values_info.h) calls
// these once per element; the fast path (fast_elements.h) writes the
// integer types without them.
#ifndef DUD_SECTIONS_ELEMENT_TEXT_H_
#define DUD_SECTIONS_ELEMENT_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "automation/client_process.h"

namespace dudUdudADOD::sections {

using automation::Address;
using automation::ClientProcess;
using automation::Layout;
using automation::VariantImage;

// The string address at the start of an element cell, of the pointer's width.
Address CellPointer(const Layout& layout, const uint8_t* cell);

// A byte length times the length factor: "6", or "2.5" for half of an odd one.
void AppendLength(std::u16string& out, uint32_t length, bool halved);

// "(^address/length)" after a string, written through a pointer: the values
// walk writes it for every String element. The writer needs room for
// kAddressAndLengthWidest characters and returns the end of what it wrote.
inline constexpr size_t kAddressAndLengthWidest = 2 + 20 + 1 + 10 + 2 + 1;  // "(^", address, "/",
                                                                            // length, ".5", ")"
char16_t* WriteAddressAndLength(char16_t* p, int64_t address, uint32_t bytes, bool halved);
void AppendAddressAndLength(std::u16string& out, int64_t address, uint32_t bytes, bool halved);

void AppendLegend(std::u16string& out, bool indexed, bool char_ascii, bool ordinal, bool addr_len);

// One element's value text from its raw bytes (`cell` holds the first bytes
// of the element, zero-padded to a variant of the largest platform; `raw`
// all `raw_size` of them; `separator` the process's decimal separator).
void AppendElementValue(std::u16string& out, const ClientProcess& process, char16_t separator,
                        uint16_t type, const uint8_t* cell, const uint8_t* raw, size_t raw_size);

// The bytes of an element held in the element cell: a Variant fills a whole
// variant of the platform (16 or 24), a Decimal 16, every value type at most
// 8. Elements of other types are shown byte by byte and keep their whole
// size.
size_t CellBytes(uint16_t type, int32_t element_size, const Layout& layout);

// One array element's value text as the walk writes it, without label,
// character or separator (for the structured twin). `raw` holds the first
// ElementTextBytes(type, cbElements, layout) bytes of the element.
void AppendElementText(std::u16string& out, const automation::ClientProcess& process, uint16_t type,
                       const uint8_t* raw, size_t raw_size);
size_t ElementTextBytes(uint16_t type, int32_t element_size, const automation::Layout& layout);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_ELEMENT_TEXT_H_
