// Positions and the two kinds of error that the ravoduze client reports
// before anything is inspected.
//
// ScriptError: the script is wrong at a line and column (1-based, columns
// counted in characters). The lexer, the parser and the interpreter raise it;
// RunRavoduze prints it as "script:LINE:COLUMN: error: MESSAGE" and exits 2.
// UsageError: the command line is wrong (an option, its value, a file that
// cannot be read); printed as "ravoduze: MESSAGE", exit 2.
// Run-time errors of the platform model stay RuntimeError (exit 1).
#ifndef DUD_CLI_SCRIPT_ERROR_H_
#define DUD_CLI_SCRIPT_ERROR_H_

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

// Text from the script in double quotes for a message, cut after 32 bytes
// (at a character boundary) so that a huge name or number stays readable.
inline std::string Quote(std::string_view text) {
  constexpr size_t kMax = 32;
  size_t cut = text.size();
  if (cut > kMax) {
    cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  }
  // Built by appending: GCC 12 warns falsely about "\"" + std::string(...).
  std::string quoted;
  quoted.reserve(cut + 5);
  quoted += '"';
  quoted.append(text.data(), cut);
  if (cut < text.size()) quoted += "...";
  quoted += '"';
  return quoted;
}

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_ERROR_H_
