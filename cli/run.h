// RunRavoduze: the whole ravoduze program behind one call, for main(), the
// tests and fuzzers.
//
// `args` are the command-line arguments after the program name; `in` is
// read only for "-f -". On success the report goes to `out` as UTF-8, byte
// for byte (CR LF kept, nothing added), and the result is 0. Otherwise
// nothing goes to `out` and one line goes to `err`:
//   1  "Run-time error 'N': DESCRIPTION" (the platform model raised it)
//   2  "script:LINE:COLUMN: error: MESSAGE", or "ravoduze: MESSAGE" for a
//      usage error (an option, its value, a file that cannot be read)
//   3  "ravoduze: MESSAGE" when the host fails: out of memory, or `out`
//      cannot take the report
// --help and --version print to `out` and return 0. With -i, `in` holds the
// session (see interactive.h): a prompt is shown when `in_is_terminal`, each
// failing line prints its error to `err` as above, and the result is 0 at the
// end (3 if `out` fails). Never throws.
#ifndef DUD_CLI_RUN_H_
#define DUD_CLI_RUN_H_

#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dudUdudADOD::cli {

// Scripts longer than this are refused (usage error).
inline constexpr size_t kMaxScriptBytes = size_t{16} << 20;

// Writes `text` to `out` as UTF-8 a piece at a time, never splitting a
// surrogate pair, so no second copy of the whole text is made.
void WriteUtf8(std::ostream& out, std::u16string_view text);

int RunRavoduze(std::span<const std::string> args, std::istream& in, std::ostream& out,
                std::ostream& err, bool in_is_terminal = false);

// The exit codes above.
enum ExitCode { kOk = 0, kRunTimeError = 1, kBadInput = 2, kHostFailure = 3 };

// The host cannot go on: `out` cannot take the report.
class HostFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws HostFailure("cannot write " + what) unless `out` took everything
// written to it. Clear errno before writing: when the system gave a reason
// ("Broken pipe" for a reader that has gone), the message ends with it.
void CheckWritten(std::ostream& out, const std::string& what);

// Prints the exception being handled (call it only inside a catch block) as
// the one line described above and returns its exit code. A ScriptError's
// line is counted from `first_line`: a session parses each input line alone.
int ReportError(std::ostream& err, int first_line = 1);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_RUN_H_
