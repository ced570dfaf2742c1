// Probes for the tests of cli/: a whole ravoduze run, and (from
// script_error_text.h) the text of the error a call raises, so that tables
// can hold what a user sees.
#ifndef DUD_TESTUTIL_CLI_H_
#define DUD_TESTUTIL_CLI_H_

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/program/run.h"
#include "testutil/script_error_text.h"

namespace dudUdudADOD::testutil {

struct CliResult {
  int code;
  std::string out;
  std::string err;
};

// A standard output that takes nothing, as a full disk does.
class FullDevice : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

// ravoduze with `args`, `input` on standard input, at a terminal or not,
// writing to `device` when one is given.
inline CliResult RunCli(const std::vector<std::string>& args, const std::string& input = "",
                        bool terminal = false, std::streambuf* device = nullptr) {
  std::istringstream in(input);
  std::stringbuf text;
  std::ostream out(device != nullptr ? device : &text);
  std::ostringstream err;
  const int code = cli::RunRavoduze(args, in, out, err, {terminal, terminal});
  return {code, text.str(), err.str()};
}

}  // namespace dudUdudADOD::testutil

#endif  // DUD_TESTUTIL_CLI_H_
