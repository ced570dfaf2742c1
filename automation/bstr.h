// Length-prefixed UTF-16 strings, as the platform keeps them.
//
// A string is the address of its first character. The 4 bytes before it hold
// the byte length (twice the character count for ordinary strings), and a zero
// character follows the text. Address 0 is the null string: it reads as "".
#ifndef DUD_AUTOMATION_BSTR_H_
#define DUD_AUTOMATION_BSTR_H_

#include <cstdint>
#include <string>

#include "automation/memory.h"

namespace dudUdudADOD::automation {

// The most characters a string can hold: 2 GiB of UTF-16, all the memory a
// 32-bit process has.
inline constexpr uint64_t kMaxStringChars = 0x3FFFFFFF;

// The length prefix's size, before the first character.
inline constexpr uint32_t kBstrPrefix = 4;

// Raises 14 (Out of string space) when a text of `length` characters cannot
// take `more` more. Texts that grow from what the caller's memory claims
// call this before they take the memory.
void CheckStringSpace(uint64_t length, uint64_t more);

// The byte length from the prefix; 0 for the null string. Raises 5 when the
// prefix cannot be read.
uint32_t SysStringByteLen(const Memory& memory, Address bstr);

// The string's text: LenB / 2 characters (an odd last byte is dropped).
// Raises 5, before taking any host memory, when the prefix or the text is not
// mapped, so a wild length prefix cannot cause a runaway allocation.
std::u16string ReadString(const Memory& memory, Address bstr);
// The same text appended to `out`, without a copy of its own: the values walk
// calls this once per string element.
void AppendString(std::u16string& out, const Memory& memory, Address bstr);
// Appends the text in `bytes` bytes of UTF-16 at `at` (an odd last byte is
// dropped); raises 5, before taking host memory, unless all of it is mapped.
void AppendUtf16Bytes(std::u16string& out, const Memory& memory, Address at, uint64_t bytes);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_BSTR_H_
