// The interactive mode of ravoduze (-i): a session that reads statements one
// line at a time, as an immediate window does, and prints the report of any
// variable on request.
//
// Each input line is one of:
//   statements           run in the session's one process (";" separates
//                        several); every variable stays for later lines
//   ? VALUE, print VALUE the report of VALUE: a variable by name, or any
//                        value, passed as a temporary
//   VALUE                the same, for a line that is only a name or a value
//   :COMMAND [VALUE]     :var-flags N, :vat-flags N, :sep TEXT, :arg-at ADDR,
//                        :debug on|off, :keep-going on|off (keep_going.h),
//                        :explain on|off (explain.h) set the options of later
//                        reports (no VALUE: back to the default); :x ADDR [COUNT],
//                        :x NAME, :x *NAME dump memory (memory_dump.h,
//                        variable_memory.h); :help; :quit
//   nothing, or a comment
// The options given on the command line are the session's first options.
//
// `preload` (-i -f FILE), when given, runs first as a script whose every
// variable stays. Its errors are reported with the file's name and the
// session starts all the same: a script error runs none of it (it is parsed
// whole, as a one-shot script is), a run-time error keeps the statements
// before the failing one.
//
// Reports go to `out` as UTF-8 byte for byte, as in the one-shot mode, and
// are flushed at once. A line that fails prints its error to `err` in the
// one-shot formats ("<stdin>:LINE:COLUMN: error: ..." with the line and a
// caret, LINE the input line, or "Run-time error 'N': ..." and, unless -q,
// a hint) and the session goes on with nothing lost: what a failed statement
// leaves is described in interpreter.h. With `prompt` (standard input is a
// terminal), a greeting and "> " before each line go to `out` (through
// `editor`, when given, which reads the lines with editing and history), and
// a report that ends without a line break (a String's value does) gets one.
//
// A line longer than kMaxScriptBytes is refused without being kept. Returns
// at :quit or at the end of input: 3 when `out` cannot be written; else,
// without `prompt`, the exit code of the worst line that failed (1 for a
// run-time error, 2 for a script error), so that a piped session tells its
// caller (a report that lost a section with :keep-going on counts as a
// run-time error); else 0.
#ifndef DUD_CLI_PROGRAM_INTERACTIVE_H_
#define DUD_CLI_PROGRAM_INTERACTIVE_H_

#include <iosfwd>

#include "cli/program/line_editor.h"
#include "cli/program/options.h"
#include "cli/script/diagnostic.h"

namespace dudUdudADOD::cli {

int RunSession(const Options& options, const ScriptSource* preload, std::istream& in,
               std::ostream& out, std::ostream& err, bool prompt, LineEditor* editor = nullptr);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_INTERACTIVE_H_
