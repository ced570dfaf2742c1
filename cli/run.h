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
// --help and --version print to `out` and return 0. Never throws.
#ifndef DUD_CLI_RUN_H_
#define DUD_CLI_RUN_H_

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace dudUdudADOD::cli {

// Scripts longer than this are refused (usage error).
inline constexpr size_t kMaxScriptBytes = size_t{16} << 20;

// Writes `text` to `out` as UTF-8 a piece at a time, never splitting a
// surrogate pair, so no second copy of the whole text is made.
void WriteUtf8(std::ostream& out, std::u16string_view text);

int RunRavoduze(std::span<const std::string> args, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_RUN_H_
