// PutText: the text grid writer that the table sections lay out with.
//
// The buffer is a grid of characters: lines separated by CR LF, columns
// counted in characters, both from 1. PutText writes `text` at a line and
// column, creating missing lines and padding short ones with spaces, either
// over the characters there (overwrite) or in front of them (insert). It never
// trims: spaces it adds stay, at line ends too.
//
// `line` and `column` of 0 stand for 1 and are written back as 1; `line` is
// raised by 1 after the write when `advance` is true. Negative line or column
// numbers are taken as 1 as well (written back as 1): no caller passes one,
// and clamping keeps every write inside the text. The result is always true.
#ifndef DUD_LAYOUT_PUT_TEXT_H_
#define DUD_LAYOUT_PUT_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace dudUdudADOD::layout {

// Where a line of the buffer starts, remembered between calls by a caller
// that writes line after line (the table sections), so that each write scans
// from that line instead of from the start of the text. Writes never move the
// start of the line they touch or of any line before it, so the hint stays
// true as long as the buffer changes only through PutText calls given it.
struct LineHint {
  int32_t line = 0;  // 0: nothing remembered yet
  size_t start = 0;
};

bool PutText(std::u16string& buffer, std::u16string_view text, int32_t& line, int32_t& column,
             bool overwrite, bool advance, LineHint* hint = nullptr);

}  // namespace dudUdudADOD::layout

#endif  // DUD_LAYOUT_PUT_TEXT_H_
