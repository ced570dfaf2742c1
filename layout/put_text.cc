#include "layout/put_text.h"

#include <algorithm>
#include <cstddef>

#include "automation/checked_math.h"

namespace dudUdudADOD::layout {

namespace {

constexpr std::u16string_view kLineBreak = u"\r\n";

// Where one line of the buffer lies: [start, end), end being the index of its
// CR LF or the end of the buffer for the last line.
struct LineSpan {
  size_t start = 0;
  size_t end = 0;
};

// The next CR LF at or after `from`, or npos.
size_t FindLineBreak(const std::u16string& buffer, size_t from) {
  const char16_t* data = buffer.data();
  const size_t size = buffer.size();
  for (size_t i = from; i + 1 < size; ++i) {
    if (data[i] == u'\r' && data[i + 1] == u'\n') return i;
  }
  return std::u16string::npos;
}

// Finds line `line` (1-based) by one scan for CR LF from the buffer's start,
// or from `hint` when it names a line at or before it.
// When the buffer has fewer lines, the missing ones are appended, each of
// `width` spaces, so that the target line exists afterwards. The buffer is
// thought of as ending in one more CR LF; appending a line therefore means
// adding CR LF and then the line's spaces.
LineSpan FindOrAppendLine(std::u16string& buffer, int32_t line, size_t width,
                          const LineHint* hint) {
  size_t start = 0;
  int32_t found = 1;
  if (hint != nullptr && hint->line >= 1 && hint->line <= line) {
    start = hint->start;
    found = hint->line;
  }
  while (found < line) {
    const size_t brk = FindLineBreak(buffer, start);
    if (brk == std::u16string::npos) break;
    start = brk + kLineBreak.size();
    ++found;
  }
  if (found < line) {
    const auto missing = static_cast<size_t>(line - found);
    buffer.reserve(buffer.size() + missing * (kLineBreak.size() + width));
    for (size_t i = 0; i < missing; ++i) {
      buffer.append(kLineBreak);
      start = buffer.size();
      buffer.append(width, u' ');
    }
    return {start, buffer.size()};
  }
  const size_t brk = FindLineBreak(buffer, start);
  return {start, brk == std::u16string::npos ? buffer.size() : brk};
}

}  // namespace

bool PutText(std::u16string& buffer, std::u16string_view text, int32_t& line, int32_t& column,
             bool overwrite, bool advance, LineHint* hint) {
  // 0 stands for 1; negative numbers are clamped too, so no write ever lands
  // before the start of the text.
  line = std::max(line, int32_t{1});
  column = std::max(column, int32_t{1});

  const auto before = static_cast<size_t>(column - 1);  // characters left of the text
  // Overwrite needs room for the whole text; insert only needs the column.
  const size_t needed = before + (overwrite ? text.size() : 0);

  LineSpan target = FindOrAppendLine(buffer, line, needed, hint);
  if (hint != nullptr) *hint = {line, target.start};
  const size_t length = target.end - target.start;
  if (length < needed) {
    buffer.insert(target.end, needed - length, u' ');
    target.end += needed - length;
  }

  const size_t at = target.start + before;
  if (overwrite) {
    // The line is long enough: replace exactly text.size() characters.
    std::copy(text.begin(), text.end(), buffer.begin() + static_cast<std::ptrdiff_t>(at));
  } else {
    buffer.insert(at, text);
  }

  if (advance) line = automation::AddLong(line, 1);
  return true;
}

}  // namespace dudUdudADOD::layout
