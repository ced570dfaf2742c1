// RunRavoduze: the whole ravoduze program behind one call, for main(), the
// tests and fuzzers.
//
// `args` are the command-line arguments after the program name; `in` is the
// script for "-" or "-f -", and when no script is given and `in` is no
// terminal (a pipe; an empty one leaves the default script). On success the
// report goes to `out` as UTF-8, byte for byte (CR LF kept; with --lf, LF),
// and the result is 0; when `out` is a terminal, a report that does not end
// its line gets a line break. Otherwise nothing goes to `out`, and `err`
// gets:
//   1  "Run-time error 'N': DESCRIPTION" (the platform model raised it)
//   2  "NAME:LINE:COLUMN: error: MESSAGE" and the line with a caret (NAME
//      is the file, "<stdin>" or "<script>"), or "ravoduze: MESSAGE" for a
//      usage error (an option, its value, a file that cannot be read)
//   3  "ravoduze: MESSAGE" when the host fails: out of memory, or `out`
//      cannot take the report, the help or the version; nothing when its
//      reader has gone (a closed pipe), as other tools stay silent then
// Unless -q is given, hint and note lines may follow a run-time error or a
// report (hints.h). --help and --version print to `out` and return 0. With
// -i, `in` holds the session (see interactive.h). Never throws.
#ifndef DUD_CLI_PROGRAM_RUN_H_
#define DUD_CLI_PROGRAM_RUN_H_

#include <iosfwd>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cli/output/output_stream.h"
#include "cli/program/line_editor.h"
#include "cli/script/diagnostic.h"

namespace dudUdudADOD::cli {

// Scripts longer than this are refused (usage error).
inline constexpr size_t kMaxScriptBytes = size_t{16} << 20;

// Which of the standard streams are terminals, and how to make the line
// editor that a session typed at a terminal uses (none: plain lines).
struct Terminals {
  bool in = false;
  bool out = false;
  std::unique_ptr<LineEditor> (*make_editor)() = nullptr;
};

int RunRavoduze(std::span<const std::string> args, std::istream& in, std::ostream& out,
                std::ostream& err, Terminals terminals = {});

// The exit codes above.
enum ExitCode { kOk = 0, kRunTimeError = 1, kBadInput = 2, kHostFailure = 3 };

// Prints the exception being handled (call it only inside a catch block) as
// described above and returns its exit code. A ScriptError is shown in
// `script` (diagnostic.h).
int ReportError(std::ostream& err, const ScriptText& script = {});

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_RUN_H_
