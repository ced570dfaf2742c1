// How ravoduze shows a problem in a script, the way a compiler does:
//
//   grid.bas:3:10: error: unknown type "Lng" (did you mean "Long"?)
//       3 | Dim x As Lng
//         |          ^
//
// Used by RunRavoduze and the interactive session. The name is the file's
// as given, "<stdin>" for standard input and "<script>" for the argument.
// The excerpt keeps the line's tabs so that the caret stands under the
// column on any terminal; a line too long to show whole is cut around the
// column. A position past the text (the end of the script) shows no excerpt.
#ifndef DUD_CLI_SCRIPT_DIAGNOSTIC_H_
#define DUD_CLI_SCRIPT_DIAGNOSTIC_H_

#include <iosfwd>
#include <string>
#include <string_view>

#include "cli/script/script_error.h"

namespace dudUdudADOD::cli {

// Where a script came from: its name for messages and its text. Line
// numbers in its errors are counted from `first_line` (a session parses each
// input line alone).
struct ScriptText {
  std::string_view name = "<script>";
  std::string_view text;
  int first_line = 1;
};

// A script as it was loaded, owning its text.
struct ScriptSource {
  std::string text;
  std::string name;

  ScriptText View() const { return {name, text, 1}; }
};

// "NAME:LINE:COLUMN: KIND: MESSAGE\n" and the excerpt, for `kind` "error" or
// "note".
void PrintDiagnostic(std::ostream& err, const ScriptText& script, Position position,
                     std::string_view kind, std::string_view message);

// The excerpt alone: "   N | line\n     |    ^\n", or "" when `position` is
// not in the text.
std::string Excerpt(std::string_view text, Position position, int first_line);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_DIAGNOSTIC_H_
