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
  explicit HostFailure(const std::string& what, int reason = 0)
      : std::runtime_error(what), reason_(reason) {}

  // The system's error number, 0 when it gave none.
  int reason() const { return reason_; }
  // The reader of the output has gone (ravoduze ... | head): as other tools
  // of the shell, the program then stops without a word.
  bool ReaderGone() const;

 private:
  int reason_;
};

// Throws HostFailure("cannot write " + what) unless `out` took everything
// written to it. Clear errno before writing: when the system gave a reason
// ("No space left on device"), the message ends with it and the failure
// keeps it.
void CheckWritten(std::ostream& out, const std::string& what);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_OUTPUT_STREAM_H_
