// Writing to the program's streams: a UTF-16 text as UTF-8 a piece at a
// time, and the failure of a stream that cannot take what it is given. The
// output formats (json_writer.h, svg_picture.h, utf8_blocks.h) and the
// program (run.h, interactive.h) write through these.
#ifndef DUD_CLI_OUTPUT_OUTPUT_STREAM_H_
#define DUD_CLI_OUTPUT_OUTPUT_STREAM_H_

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dudUdudADOD::cli {

// Writes `text` to `out` as UTF-8 a piece at a time, never splitting a
// surrogate pair, so no second copy of the whole text is made.
void WriteUtf8(std::ostream& out, std::u16string_view text);

// The host cannot go on: `out` cannot take the report.
class HostFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws HostFailure("cannot write " + what) unless `out` took everything
// written to it. Clear errno before writing: when the system gave a reason
// ("Broken pipe" for a reader that has gone), the message ends with it.
void CheckWritten(std::ostream& out, const std::string& what);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_OUTPUT_STREAM_H_
