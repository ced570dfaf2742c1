#include "cli/script/diagnostic.h"

#include <algorithm>
#include <optional>
#include <ostream>

namespace dudUdudADOD::cli {

namespace {

// Lines longer than this are shown as a window around the column.
constexpr size_t kMaxShownBytes = 120;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The text of line `line` (1-based) without its line break, or nullopt.
std::optional<std::string_view> LineOf(std::string_view text, int line) {
  size_t start = 0;
  for (int n = 1; n < line; ++n) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;
    start = end + 1;
  }
  std::string_view found = text.substr(start, text.find('\n', start) - start);
  if (!found.empty() && found.back() == '\r') found.remove_suffix(1);
  return found;
}

// The byte offset of 1-based character column `column` in `line`.
size_t OffsetOf(std::string_view line, int column) {
  size_t at = 0;
  for (int c = 1; c < column && at < line.size(); ++c) {
    ++at;
    while (at < line.size() && IsContinuationByte(line[at])) ++at;
  }
  return at;
}

// Moves `at` back to the start of the character it stands in.
size_t CharacterStart(std::string_view line, size_t at) {
  while (at > 0 && at < line.size() && IsContinuationByte(line[at])) --at;
  return at;
}

}  // namespace

std::string Excerpt(std::string_view text, Position position, int first_line) {
  const std::optional<std::string_view> found = LineOf(text, position.line);
  if (!found || found->find_first_not_of(" \t") == std::string_view::npos) return "";
  std::string_view line = *found;
  size_t at = OffsetOf(line, position.column);
  if (at > line.size()) return "";
  std::string before, after;
  if (line.size() > kMaxShownBytes) {
    const size_t start =
        CharacterStart(line, at > kMaxShownBytes / 2 ? at - kMaxShownBytes / 2 : 0);
    const size_t end = CharacterStart(line, std::min(line.size(), start + kMaxShownBytes));
    if (start > 0) before = "...";
    if (end < line.size()) after = "...";
    line = line.substr(start, end - start);
    at -= start;
  }
  std::string gutter = std::to_string(position.line + first_line - 1);
  std::string marks;
  for (size_t i = 0; i < before.size(); ++i) marks += ' ';
  for (size_t i = 0; i < at; ++i) {
    if (line[i] == '\t')
      marks += '\t';
    else if (!IsContinuationByte(line[i]))
      marks += ' ';
  }
  std::string shown(line);
  for (char& c : shown) {
    // A control character could move the terminal's cursor and the caret with it.
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) c = '?';
  }
  std::string excerpt = " " + gutter + " | " + before + shown + after + "\n";
  excerpt += " " + std::string(gutter.size(), ' ') + " | " + marks + "^\n";
  return excerpt;
}

void PrintDiagnostic(std::ostream& err, const ScriptText& script, Position position,
                     std::string_view kind, std::string_view message) {
  err << script.name << ':' << position.line + script.first_line - 1 << ':' << position.column
      << ": " << kind << ": " << message << '\n'
      << Excerpt(script.text, position, script.first_line);
}

}  // namespace dudUdudADOD::cli
