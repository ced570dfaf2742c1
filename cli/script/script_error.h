// Positions and the two kinds of error that the ravoduze client reports
// before anything is inspected.
//
// ScriptError: the script is wrong at a line and column (1-based, columns
// counted in characters). The lexer, the parser and the interpreter raise it;
// RunRavoduze prints it as "script:LINE:COLUMN: error: MESSAGE" and exits 2.
// UsageError: the command line is wrong (an option, its value, a file that
// cannot be read); printed as "ravoduze: MESSAGE", exit 2.
// Run-time errors of the platform model stay RuntimeError (exit 1).
#ifndef DUD_CLI_SCRIPT_SCRIPT_ERROR_H_
#define DUD_CLI_SCRIPT_SCRIPT_ERROR_H_

#include <stdexcept>
#include <string>
#include <string_view>

namespace dudUdudADOD::cli {

struct Position {
  int line = 1;
  int column = 1;
};

class ScriptError : public std::runtime_error {
 public:
  ScriptError(Position position, const std::string& message)
      : std::runtime_error(message), position_(position) {}
  Position position() const { return position_; }

 private:
  Position position_;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Text from the user in double quotes for a one-line message: cut after
// `max` bytes (at a character boundary) so that a huge name or number stays
// readable, and with control characters written as escapes (\n, \r, \t,
// \xNN) so that a line break in it cannot break the message's line.
inline std::string Quote(std::string_view text, size_t max = 32) {
  size_t cut = text.size();
  if (cut > max) {
    cut = max;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  }
  std::string quoted;
  quoted.reserve(cut + 5);
  quoted += '"';
  for (const char c : text.substr(0, cut)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 15];
    } else {
      quoted += c;
    }
  }
  if (cut < text.size()) quoted += "...";
  quoted += '"';
  return quoted;
}

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_SCRIPT_ERROR_H_
