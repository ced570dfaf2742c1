#include "cli/run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "cli/facts_output.h"
#include "cli/interactive.h"
#include "cli/interpreter.h"
#include "cli/options.h"
#include "cli/parser.h"
#include "cli/svg_picture.h"
#include "inspector/ravoduze.h"

namespace dudUdudADOD::cli {

namespace {

constexpr std::string_view kDefaultScript = "Dim x As Long = 5";
// File names in messages are cut only when they are very long.
constexpr size_t kMaxPathInMessage = 1024;

std::string TooLarge(const std::string& what) {
  return what + " is larger than " + std::to_string(kMaxScriptBytes >> 20) + " MiB";
}

// Reads to the end, refusing more than kMaxScriptBytes without taking more.
std::string ReadScript(std::istream& in, const std::string& what) {
  std::string text;
  std::string chunk(1 << 16, '\0');
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    text.append(chunk.data(), static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxScriptBytes) throw UsageError(TooLarge(what));
  }
  if (in.bad()) throw UsageError("cannot read " + what);
  return text;
}

std::string LoadScript(const Options& options, std::istream& in) {
  if (options.script) {
    if (options.script->size() > kMaxScriptBytes) throw UsageError(TooLarge("the script"));
    return *options.script;
  }
  if (!options.file) return std::string(kDefaultScript);
  if (*options.file == "-") return ReadScript(in, "standard input");
  std::error_code ignored;
  if (std::filesystem::is_directory(*options.file, ignored)) {
    throw UsageError("cannot read " + Quote(*options.file, kMaxPathInMessage) +
                     ": it is a directory");
  }
  std::ifstream file(*options.file, std::ios::binary);
  if (!file) {
    throw UsageError("cannot open " + Quote(*options.file, kMaxPathInMessage) + ": " +
                     std::strerror(errno));
  }
  return ReadScript(file, Quote(*options.file, kMaxPathInMessage));
}

// The report as UTF-8, gathered in blocks while the inspector builds it, so
// that neither the UTF-16 text nor one huge UTF-8 string ever stands whole in
// memory. Nothing is written until the report is complete: a call that fails
// half way prints no partial report.
class Utf8Blocks {
 public:
  // Takes the text so far and empties it. A high surrogate at its end waits
  // for the low one that starts the next piece.
  void Take(std::u16string& text) {
    std::u16string joined;
    std::u16string_view piece = text;
    if (carry_ != 0) {
      joined.reserve(text.size() + 1);
      joined += carry_;
      joined += text;
      piece = joined;
      carry_ = 0;
    }
    if (!piece.empty() && piece.back() >= 0xD800 && piece.back() <= 0xDBFF) {
      carry_ = piece.back();
      piece.remove_suffix(1);
    }
    Append(piece);
    text.clear();
  }
  void WriteTo(std::ostream& out) {
    if (carry_ != 0) Append(std::u16string_view(&carry_, 1));  // unpaired: U+FFFD
    carry_ = 0;
    for (Block& block : blocks_) {
      out.write(block.bytes.get(), static_cast<std::streamsize>(block.used));
      block.bytes.reset();  // give each block back once it is out
    }
  }

 private:
  static constexpr size_t kBlock = size_t{1} << 20;
  // Raw room, never filled with zeros first: the text is written once.
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    size_t used = 0;
  };

  // A long piece (a report of one long string comes whole) is converted a
  // slice at a time, so that no block is sized for the widest UTF-8 of all
  // of it at once.
  void Append(std::u16string_view piece) {
    constexpr size_t kSlice = kBlock / automation::kMaxUtf8PerUnit;
    while (!piece.empty()) {
      size_t n = std::min(kSlice, piece.size());
      if (n < piece.size() && piece[n - 1] >= 0xD800 && piece[n - 1] <= 0xDBFF) --n;
      AppendSlice(piece.substr(0, n));
      piece.remove_prefix(n);
    }
  }
  void AppendSlice(std::u16string_view slice) {
    const size_t needed = automation::kMaxUtf8PerUnit * slice.size();
    if (blocks_.empty() || blocks_.back().size - blocks_.back().used < needed) {
      blocks_.push_back(Block{std::unique_ptr<char[]>(new char[kBlock]), kBlock, 0});
    }
    Block& block = blocks_.back();
    char* start = block.bytes.get() + block.used;
    block.used += static_cast<size_t>(automation::WriteUtf8(start, slice) - start);
  }

  std::vector<Block> blocks_;
  char16_t carry_ = 0;
};

// Keeps only what --footprint and --svg need of a twin.
struct FootprintOnly : FactsSink {
  std::optional<FootprintFact> footprint;
  void Variant(const SectionFact&) override {}
  void Variable(const VariableFact&) override {}
  void Descriptor(const DescriptorFact&) override {}
  void ValuesHeader(const ValuesHeaderFact&) override {}
  void Element(const ElementFact&) override {}
  void Footprint(const FootprintFact& f) override { footprint = f; }
  void Error(const ErrorFact& e) override { automation::Raise(e.number); }
};

FootprintFact MeasureOf(RavoDUZE& inspector, automation::Address argument) {
  FootprintOnly facts;
  inspector.Facts(facts, argument, varNOTHING);  // the footprint needs no section
  return *facts.footprint;
}

void DrawPicture(const automation::Process& process, const FootprintFact& footprint,
                 const std::string& path) {
  std::ofstream file(path, std::ios::binary);
  if (!file) {
    throw UsageError("cannot write the picture to " + Quote(path, kMaxPathInMessage) + ": " +
                     std::strerror(errno));
  }
  errno = 0;
  WriteSvg(file, process, footprint);
  file.flush();
  CheckWritten(file, "the picture");
}

// The twin as JSON, written while it is gathered: a run-time error ends the
// document with the error and then ends the run like a failed report.
void WriteJson(RavoDUZE& inspector, automation::Address argument, const Options& options,
               std::ostream& out) {
  const auto& layout =
      automation::LayoutOf(options.platform.value_or(automation::Platform::kWin32));
  JsonFacts json(out, static_cast<int>(layout.pointer_size * 2));
  struct Tee : FactsSink {
    JsonFacts& json;
    int error = 0;
    explicit Tee(JsonFacts& j) : json(j) {}
    void Variant(const SectionFact& f) override { json.Variant(f); }
    void Variable(const VariableFact& f) override { json.Variable(f); }
    void Descriptor(const DescriptorFact& f) override { json.Descriptor(f); }
    void ValuesHeader(const ValuesHeaderFact& f) override { json.ValuesHeader(f); }
    void Element(const ElementFact& f) override { json.Element(f); }
    void Footprint(const FootprintFact& f) override { json.Footprint(f); }
    void Error(const ErrorFact& e) override {
      json.Error(e);
      error = e.number;
    }
  } tee(json);
  errno = 0;
  inspector.Facts(tee, argument, options.var_flags);
  json.Finish();
  out.flush();
  CheckWritten(out, "the report");
  if (tee.error != 0) automation::Raise(tee.error);
}

// Runs the script in a process of its own and writes its report, or what
// --json, --footprint and --svg ask for instead.
void InspectAndWrite(const std::string& source, const Options& options, std::ostream& out) {
  Utf8Blocks report;
  {
    const Script script = ParseScript(source);
    auto process = std::make_unique<automation::Process>(
        options.platform.value_or(automation::Platform::kWin32));
    Interpreter interpreter(*process);
    const automation::Address argument = interpreter.Run(script, options.arg_at);
    RavoDUZE inspector(*process);
    if (options.svg) DrawPicture(*process, MeasureOf(inspector, argument), *options.svg);
    if (options.json) return WriteJson(inspector, argument, options, out);
    if (options.footprint) {
      errno = 0;
      WriteFootprintTable(out, MeasureOf(inspector, argument));
      out.flush();
      return CheckWritten(out, "the footprint");
    }
    inspector.Report([&report](std::u16string& text) { report.Take(text); }, argument,
                     options.debug, options.var_flags, options.vat_flags, options.sep);
  }
  errno = 0;
  report.WriteTo(out);
  out.flush();
  CheckWritten(out, "the report");
}

void WriteReport(std::ostream& out, std::u16string_view report) {
  errno = 0;
  WriteUtf8(out, report);
  out.flush();
  CheckWritten(out, "the report");
}

int Run(std::span<const std::string> args, std::istream& in, std::ostream& out, std::ostream& err,
        bool in_is_terminal) {
  const Options options = ParseOptions(args);
  if (options.help) {
    out << UsageText() << std::flush;
    return kOk;
  }
  if (options.version) {
    out << VersionText() << '\n' << std::flush;
    return kOk;
  }
  if (options.help_text || options.about) {
    // The component's own texts, byte for byte: no process is needed.
    automation::Process process;
    RavoDUZE inspector(process);
    WriteReport(out, options.help_text ? inspector.HELP() : inspector.About());
    return kOk;
  }
  if (options.interactive) {
    if (options.script || options.file) {
      throw UsageError("-i reads the statements from standard input: give no script and no -f");
    }
    return RunSession(options, in, out, err, in_is_terminal);
  }
  InspectAndWrite(LoadScript(options, in), options, out);
  return kOk;
}

}  // namespace

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
  throw HostFailure("cannot write " + what +
                    (reason != 0 ? std::string(": ") + std::strerror(reason) : ""));
}

int ReportError(std::ostream& err, int first_line) {
  try {
    throw;
  } catch (const ScriptError& e) {
    err << "script:" << e.position().line + first_line - 1 << ':' << e.position().column
        << ": error: " << e.what() << '\n';
    return kBadInput;
  } catch (const UsageError& e) {
    err << "ravoduze: " << e.what() << '\n';
    return kBadInput;
  } catch (const RuntimeError& e) {
    err << "Run-time error '" << e.number() << "': " << e.description() << '\n';
    return kRunTimeError;
  } catch (const HostFailure& e) {
    err << "ravoduze: " << e.what() << '\n';
    return kHostFailure;
  } catch (const std::bad_alloc&) {
    err << "ravoduze: out of host memory\n";
    return kHostFailure;
  } catch (const std::exception& e) {
    err << "ravoduze: internal error: " << e.what() << '\n';
    return kHostFailure;
  } catch (...) {
    err << "ravoduze: internal error\n";
    return kHostFailure;
  }
}

int RunRavoduze(std::span<const std::string> args, std::istream& in, std::ostream& out,
                std::ostream& err, bool in_is_terminal) {
  try {
    return Run(args, in, out, err, in_is_terminal);
  } catch (...) {
    return ReportError(err);
  }
}

}  // namespace dudUdudADOD::cli
