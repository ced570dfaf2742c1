#include "cli/output/output_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "automation/utf8.h"

namespace dudUdudADOD::cli {

void WriteUtf8(std::ostream& out, std::u16string_view text) {
  constexpr size_t kChunk = 1 << 16;
  std::string bytes;
  while (!text.empty() && out) {
    size_t n = std::min(kChunk, text.size());
    if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    bytes.clear();
    automation::AppendUtf8(bytes, text.substr(0, n));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    text.remove_prefix(n);
  }
}

void CheckWritten(std::ostream& out, const std::string& what) {
  if (out) return;
  const int reason = errno;
  throw HostFailure(
      "cannot write " + what + (reason != 0 ? std::string(": ") + std::strerror(reason) : ""),
      reason);
}

bool HostFailure::ReaderGone() const { return reason_ == EPIPE; }

}  // namespace dudUdudADOD::cli
