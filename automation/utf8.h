// UTF-8 <-> UTF-16 for the host side: scripts and file names come in as
// UTF-8, reports go out as UTF-8. The component itself works in UTF-16.
//
// Unpaired surrogates in UTF-16 become U+FFFD; so do malformed UTF-8
// sequences. Neither direction ever fails.
#ifndef DUD_AUTOMATION_UTF8_H_
#define DUD_AUTOMATION_UTF8_H_

#include <string>
#include <string_view>

namespace dudUdudADOD::automation {

// The most bytes one UTF-16 unit takes in UTF-8 (a pair of units takes 4).
inline constexpr size_t kMaxUtf8PerUnit = 3;

// Writes the UTF-8 form of `text` at `out`, which has room for
// kMaxUtf8PerUnit bytes a unit, and returns the end of what it wrote.
char* WriteUtf8(char* out, std::u16string_view text);
// Appends the UTF-8 form of `text` to `out`.
void AppendUtf8(std::string& out, std::u16string_view text);
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_UTF8_H_
