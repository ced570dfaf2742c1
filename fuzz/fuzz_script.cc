// Fuzz target: the ravoduze program end to end, through RunRavoduze.
//
// The first byte chooses options, whose values come from the bytes after it:
//   bit 0  --var-flags (a number, or member names joined by "+")
//   bit 1  --vat-flags (the same)
//   bit 2  --sep (up to 8 bytes)
//   bit 3  --debug
//   bit 4  --arg-at (an address: decimal, negative or &H hex)
//   bit 5  one more argument of up to 16 raw bytes, for the option parser
//   bit 6  the script goes on the command line after "--" instead of
//          through "-f -" and standard input
//   bit 7  an interactive session (-i): the script is its input, line by
//          line, in one process (bit 6 is then ignored)
// The rest of the input is the script.
//
// Properties: RunRavoduze never throws. A one-shot run returns 0, 1 or 2; on
// 1 and 2 nothing at all was written to standard output and standard error
// holds one error, followed only by the lines that explain it (the script's
// line and a caret, hints and notes). A session returns 0, 1 or 2, and what
// it writes to standard error is such errors one after another. Exit 3 (the
// host failed) is accepted only when the host allocation cap of
// fuzz_support.h refused a request: a legitimate declaration of hundreds of
// megabytes, or a report that large, is the tool's business but not the
// fuzzer's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/program/run.h"
#include "fuzz/fuzz_support.h"

namespace {

using dudUdudADOD::fuzz::ByteReader;
using dudUdudADOD::fuzz::Fail;
using dudUdudADOD::fuzz::HostAllocationCap;

constexpr size_t kHostCap = size_t{64} << 20;

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string FlagWord(ByteReader& in, bool var) {
  switch (in.Below(4)) {
    case 0:
      return std::to_string(in.I32());
    case 1:
      return std::to_string(in.Below(64));
    case 2:
      return var ? "varARG+varValues" : "vatIndexed+VATLEGEND";
    default:
      return Text(in.Bytes(in.Below(9)));
  }
}

std::string AddressText(ByteReader& in) {
  const uint32_t address = in.U32();
  switch (in.Below(3)) {
    case 0:
      return std::to_string(address);
    case 1:
      return std::to_string(static_cast<int32_t>(address));
    default: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string text = "&H";
      for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(address >> shift) & 15];
      return text;
    }
  }
}

// A line that starts an error message in one of the formats of run.h.
bool IsErrorLine(std::string_view line) {
  if (line.starts_with("ravoduze: hint: ") || line.starts_with("ravoduze: note: ")) return false;
  return line.starts_with("Run-time error '") || line.starts_with("ravoduze: ") ||
         ((line.starts_with("<stdin>:") || line.starts_with("<script>:")) &&
          line.find(": error: ") != std::string_view::npos);
}

// A line that explains the error before it: an excerpt, a hint or a note.
bool IsExplanation(std::string_view line) {
  return line.starts_with(" ") || line.starts_with("ravoduze: hint: ") ||
         line.starts_with("ravoduze: note: ") ||
         ((line.starts_with("<stdin>:") || line.starts_with("<script>:")) &&
          line.find(": note: ") != std::string_view::npos);
}

// Standard error holds errors, each followed only by explanations (a note may
// also follow a report that succeeded); `one` when there must be exactly one
// error. An out-of-memory line only when the cap was hit.
void CheckErrors(const std::string& err, bool capped, bool one) {
  size_t start = 0;
  int errors = 0;
  while (start < err.size()) {
    const size_t end = err.find('\n', start);
    if (end == std::string::npos) Fail("standard error does not end a line");
    const std::string_view line(err.data() + start, end - start);
    if (IsErrorLine(line)) {
      ++errors;
    } else if (!IsExplanation(line)) {
      Fail("a line on standard error that is neither an error nor explains one");
    }
    if (line.starts_with("ravoduze: out of host memory") && !capped) {
      Fail("a run ran out of host memory below the host allocation cap");
    }
    start = end + 1;
  }
  if (one && errors != 1) Fail("a failing run did not write exactly one error");
}

// How the runs ended, printed when the fuzzer exits.
struct Tally {
  uint64_t exits[4] = {};
  uint64_t capped = 0;
  uint64_t sessions = 0;

  ~Tally() {
    std::fprintf(stderr,
                 "dud: exit 0 x%llu, 1 x%llu, 2 x%llu, 3 (host allocation cap) x%llu, "
                 "sessions x%llu\n",
                 static_cast<unsigned long long>(exits[0]),
                 static_cast<unsigned long long>(exits[1]),
                 static_cast<unsigned long long>(exits[2]), static_cast<unsigned long long>(capped),
                 static_cast<unsigned long long>(sessions));
  }
};
Tally g_tally;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(std::span<const uint8_t>(data, size));
  const uint8_t choice = in.U8();
  std::vector<std::string> args;
  if ((choice & 1) != 0) args.insert(args.end(), {"--var-flags", FlagWord(in, true)});
  if ((choice & 2) != 0) args.insert(args.end(), {"--vat-flags", FlagWord(in, false)});
  if ((choice & 4) != 0) args.insert(args.end(), {"--sep", Text(in.Bytes(in.Below(9)))});
  if ((choice & 8) != 0) args.emplace_back("--debug");
  if ((choice & 16) != 0) args.insert(args.end(), {"--arg-at", AddressText(in)});
  if ((choice & 32) != 0) args.push_back(Text(in.Bytes(in.Below(17))));
  const std::string script = Text(in.Bytes(in.Remaining()));
  const bool session = (choice & 128) != 0;
  const bool on_command_line = !session && (choice & 64) != 0;
  if (session) {
    args.emplace_back("-i");
  } else if (on_command_line) {
    args.insert(args.end(), {"--", script});
  } else {
    args.insert(args.end(), {"-f", "-"});
  }

  std::istringstream input(on_command_line ? std::string() : script);
  std::ostringstream out;
  std::ostringstream err;
  int code = 0;
  bool capped = false;
  {
    HostAllocationCap cap(kHostCap);
    try {
      code = dudUdudADOD::cli::RunRavoduze(args, input, out, err);
    } catch (...) {
      Fail("an exception left RunRavoduze");
    }
    capped = cap.hit();
  }
  if (std::getenv("DUD_FUZZ_SHOW") != nullptr) {
    // What an input did: for reading seeds and crashes.
    std::fprintf(stderr, "exit %d%s\n%.4000s%s", code, capped ? " (host allocation cap hit)" : "",
                 out.str().c_str(), err.str().c_str());
  }
  if (code == 3 && capped) {
    ++g_tally.capped;
    return 0;
  }
  if (code != 0 && code != 1 && code != 2) Fail("an exit code other than 0, 1 and 2");
  if (session) {
    ++g_tally.sessions;
    CheckErrors(err.str(), capped, false);
    return 0;
  }
  ++g_tally.exits[code];
  CheckErrors(err.str(), capped, code != 0);
  if (code != 0 && !out.str().empty()) Fail("a failing run wrote to standard output");
  return 0;
}
