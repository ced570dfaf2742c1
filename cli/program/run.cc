#include "cli/program/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <istream>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "cli/output/explain.h"
#include "cli/output/facts_output.h"
#include "cli/output/svg_picture.h"
#include "cli/output/utf8_blocks.h"
#include "cli/program/hints.h"
#include "cli/program/interactive.h"
#include "cli/program/keep_going.h"
#include "cli/program/memory_dump.h"
#include "cli/program/options.h"
#include "cli/program/variable_memory.h"
#include "cli/script/diagnostic.h"
#include "cli/script/interpreter.h"
#include "cli/script/parser.h"
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

// A script from a file given with -f (not "-").
ScriptSource LoadFile(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw UsageError("cannot read " + Quote(path, kMaxPathInMessage) + ": it is a directory");
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw UsageError("cannot open " + Quote(path, kMaxPathInMessage) + ": " + std::strerror(errno));
  }
  return {ReadScript(file, Quote(path, kMaxPathInMessage)), path};
}

// The script: the argument, a file, standard input ("-", or a pipe when no
// script is given), or the default. A standard input that holds nothing at
// all (/dev/null, a closed pipe) leaves the default, so that running the
// program from a job without input still shows the example.
ScriptSource LoadScript(const Options& options, std::istream& in, bool in_is_terminal) {
  if (options.script) {
    if (options.script->size() > kMaxScriptBytes) throw UsageError(TooLarge("the script"));
    return {*options.script, "<script>"};
  }
  if (options.file && *options.file != "-") return LoadFile(*options.file);
  if (options.file || !in_is_terminal) {
    std::string text = ReadScript(in, "standard input");
    if (!text.empty() || options.file) return {std::move(text), "<stdin>"};
  }
  return {std::string(kDefaultScript), "<default>"};
}

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

// Draws what of the value can be read into `path`, or for "-" to `out`; a
// block that cannot be read ends the picture, which says so, but never the
// run. Returns a note for standard error when the picture stopped short,
// else "".
std::string DrawPicture(const automation::Process& process, automation::Address argument,
                        const std::string& path, std::ostream& out) {
  std::ofstream file;
  if (path != "-") {
    file.open(path, std::ios::binary);
    if (!file) {
      throw UsageError("cannot write the picture to " + Quote(path, kMaxPathInMessage) + ": " +
                       std::strerror(errno));
    }
  }
  std::ostream& picture = path == "-" ? out : file;
  const FootprintFact footprint = MeasureReadable(process, argument);
  errno = 0;
  WriteSvg(picture, process, footprint);
  picture.flush();
  CheckWritten(picture, "the picture");
  if (!footprint.stopped) return "";
  return "ravoduze: note: the picture stops at the " +
         std::string(BlockKindName(footprint.stopped->kind)) + " at " +
         std::to_string(footprint.stopped->address) + ", which raised run-time error " +
         std::to_string(footprint.stopped->number) + "\n";
}

// The twin as JSON, written while it is gathered: a run-time error ends the
// document with the error and then ends the run like a failed report.
void WriteJson(RavoDUZE& inspector, automation::Address argument, const Options& options,
               const std::optional<std::string>& name, std::ostream& out) {
  const automation::Platform platform = options.platform.value_or(automation::Platform::kWin32);
  const auto& layout = automation::LayoutOf(platform);
  JsonFacts json(out, static_cast<int>(layout.pointer_size * 2));
  json.Describe(automation::ToUtf8(automation::PlatformName(platform)), name);
  errno = 0;
  inspector.Facts(json, argument, options.var_flags);
  json.Finish();
  out.flush();
  CheckWritten(out, "the report");
  if (json.error() != 0) automation::Raise(json.error());
}

void PrintRunTimeError(std::ostream& err, const RuntimeError& e) {
  err << "Run-time error '" << e.number() << "': " << e.description() << '\n';
}

// A long report waits for its end in a temporary file, so that a reader of
// the standard output never sees part of a report that then fails. Where
// there is no such reader it goes straight out: into a regular file (not
// one opened to append), cut back to where it stood if the report fails,
// or into the null device.
void SpillStraightOut(Utf8Blocks& report, std::ostream& out) {
  struct stat where {};
  if (&out != &std::cout || fstat(STDOUT_FILENO, &where) != 0) return;
  if (S_ISREG(where.st_mode)) {
    const int flags = fcntl(STDOUT_FILENO, F_GETFL);
    if (flags < 0 || (flags & O_APPEND) != 0) return;
    out.flush();
    const off_t at = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    if (at >= 0) report.SpillInto(STDOUT_FILENO, at);
    return;
  }
  struct stat null {};
  if (S_ISCHR(where.st_mode) && stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
      null.st_rdev == where.st_rdev) {
    out.flush();
    report.SpillInto(STDOUT_FILENO, -1);
  }
}

// Writes what the blocks hold; at a terminal a text that does not end its
// line gets a line break, so that the shell's prompt starts a line of its own.
void WriteBlocks(Utf8Blocks& text, std::ostream& out, bool out_is_terminal) {
  errno = 0;
  // The standard output is written straight to its descriptor once flushed.
  text.WriteTo(out, &out == &std::cout ? STDOUT_FILENO : -1);
  if (out_is_terminal && !text.EndsLine()) out << '\n';
  out.flush();
  CheckWritten(out, "the report");
}

void WriteText(std::ostream& out, std::string_view text, const std::string& what) {
  errno = 0;
  out << text << std::flush;
  CheckWritten(out, what);
}

// -k: each section goes out once it is complete, a failed one as its line.
class BlocksBySection : public SectionSink {
 public:
  BlocksBySection(const Options& options, std::ostream& out) : options_(options), out_(out) {}

  void Take(std::u16string& text) override {
    if (!blocks_) {
      blocks_ = std::make_unique<Utf8Blocks>(options_.lf);
      SpillStraightOut(*blocks_, out_);
    }
    blocks_->Take(text);
  }
  void Drop() override { blocks_.reset(); }  // cuts a regular file back, too
  void End() override {
    if (!blocks_) return;
    ends_line_ = blocks_->EndsLine();
    WriteBlocks(*blocks_, out_, false);
    blocks_.reset();
  }
  bool ends_line() const { return ends_line_; }

 private:
  const Options& options_;
  std::ostream& out_;
  std::unique_ptr<Utf8Blocks> blocks_;
  bool ends_line_ = true;
};

// `ends_line` tells whether the output ends its line afterwards.
int WriteBySection(automation::Process& process, automation::Address argument,
                   const Options& options, std::ostream& out, std::ostream& err,
                   bool out_is_terminal, bool& ends_line) {
  BlocksBySection sections(options, out);
  const std::vector<SectionFailure> failures =
      ReportBySection(process, argument, options, sections);
  if (out_is_terminal && !sections.ends_line()) out << '\n' << std::flush;
  ends_line = sections.ends_line() || out_is_terminal;
  if (!options.quiet) {
    err << KeepGoingHint(process, argument, options, failures);
    if (failures.empty()) err << CharAsciiNote(process, argument, options);
  }
  return failures.empty() ? kOk : kRunTimeError;
}

// --explain, after the report; `line_open`: the report did not end its line.
void WriteExplanation(automation::Process& process, automation::Address argument,
                      const Options& options, std::ostream& out, bool line_open) {
  std::string text = ExplainReport(process, argument, options.var_flags, options.lf);
  if (line_open) text.insert(0, options.lf ? "\n" : "\r\n");
  WriteText(out, text, "the report");
}

int WriteOutput(automation::Process& process, automation::Address argument, const Options& options,
                const std::optional<std::string>& name, std::ostream& out, std::ostream& err,
                bool out_is_terminal);

// Writes what Debug.Print prints to `to` at once, its lines ended as the
// report's are.
Interpreter::Printer Printer(std::ostream& to, bool lf) {
  return [&to, lf](std::string_view text) {
    std::string lines;
    for (const char c : text) lines += c == '\n' && !lf ? std::string("\r\n") : std::string(1, c);
    WriteText(to, lines, "what Debug.Print prints");
  };
}

// Runs the script in a process of its own, then writes its report (or the
// memory that --dump asks for). Run-time errors are printed here, where the
// process they came from can still explain them.
int InspectAndWrite(const ScriptSource& source, const Options& options, std::ostream& out,
                    std::ostream& err, bool out_is_terminal) {
  const automation::Platform platform = options.platform.value_or(automation::Platform::kWin32);
  const Script script = ParseScript(source.text, platform);
  auto process = std::make_unique<automation::Process>(platform);
  Interpreter interpreter(*process);
  // Debug.Print goes before the report, on standard error when standard
  // output carries a document (JSON, or the picture with --svg -).
  const bool document = options.json || options.svg == "-";
  interpreter.set_printer(document ? Printer(err, true) : Printer(out, options.lf));
  std::optional<automation::Address> inspected;
  try {
    if (OnlyPrints(script)) {
      interpreter.RunStatements(script);
    } else {
      inspected = interpreter.Run(script, options.arg_at);
    }
    interpreter.EndPrintLine();
  } catch (const RuntimeError& e) {
    interpreter.EndPrintLine();
    PrintRunTimeError(err, e);
    if (!options.quiet) {
      PrintDiagnostic(err, source.View(), interpreter.last_position(), "note",
                      "the script raised it here");
    }
    return kRunTimeError;
  }
  if (options.dump) {
    const Dump dump = DumpFor(*options.dump, interpreter, process->memory(), "--dump");
    WriteText(out, MemoryDump(process->memory(), dump, options.lf), "the dump");
    return kOk;
  }
  if (!inspected) return kOk;  // a script that only prints
  const automation::Address argument = *inspected;
  const std::string picture_note =
      options.svg ? DrawPicture(*process, argument, *options.svg, out) : "";
  if (options.svg == "-") {  // the picture alone, for a reader that takes an SVG document
    if (!options.quiet) err << picture_note;
    return kOk;
  }
  const int code =
      WriteOutput(*process, argument, options, InspectedName(script), out, err, out_is_terminal);
  if (!options.quiet) err << picture_note;  // after the error or the report it follows
  return code;
}

// The report, the twin or the footprint of the argument; a run-time error
// is printed with its hint.
int WriteOutput(automation::Process& process, automation::Address argument, const Options& options,
                const std::optional<std::string>& name, std::ostream& out, std::ostream& err,
                bool out_is_terminal) {
  Utf8Blocks report(options.lf);
  SpillStraightOut(report, out);
  try {
    RavoDUZE inspector(process);
    if (options.json) {
      WriteJson(inspector, argument, options, name, out);
      return kOk;
    }
    if (options.footprint) {
      errno = 0;
      WriteFootprintTable(out, MeasureOf(inspector, argument));
      out.flush();
      CheckWritten(out, "the footprint");
      return kOk;
    }
    if (options.keep_going) {
      bool ends_line = true;
      const int code =
          WriteBySection(process, argument, options, out, err, out_is_terminal, ends_line);
      if (options.explain) WriteExplanation(process, argument, options, out, !ends_line);
      return code;
    }
    inspector.Report([&report](std::u16string& text) { report.Take(text); }, argument,
                     options.debug, options.var_flags, options.vat_flags, options.sep);
  } catch (const RuntimeError& e) {
    report.Clear();  // no partial report; its memory goes back first
    PrintRunTimeError(err, e);
    if (!options.quiet) err << FailureHint(process, argument, options, "--", e.number());
    return kRunTimeError;
  }
  const bool ends_line = report.EndsLine() || out_is_terminal;  // a terminal's gets a break
  WriteBlocks(report, out, out_is_terminal);
  if (options.explain) WriteExplanation(process, argument, options, out, !ends_line);
  if (!options.quiet) err << CharAsciiNote(process, argument, options);
  return kOk;
}

// -i, after the file that -f names when one is given.
int RunSessionFor(const Options& options, std::istream& in, std::ostream& out, std::ostream& err,
                  Terminals terminals) {
  if (options.script) {
    throw UsageError(
        "-i reads the statements from standard input: give no script (-f FILE runs a file "
        "first)");
  }
  if (options.file && *options.file == "-") {
    throw UsageError("-i reads standard input line by line already: give -f a file, not -");
  }
  if (options.dump)
    throw UsageError("--dump is for one script; in a session, :x ADDR or :x NAME dumps");
  std::optional<ScriptSource> preload;
  if (options.file) preload = LoadFile(*options.file);
  std::unique_ptr<LineEditor> editor;
  if (terminals.in && terminals.make_editor != nullptr) editor = terminals.make_editor();
  return RunSession(options, preload ? &*preload : nullptr, in, out, err, terminals.in,
                    editor.get());
}

// The component's own texts, byte for byte (but for --lf): no script runs.
void WriteComponentText(std::ostream& out, const Options& options, bool out_is_terminal) {
  automation::Process process;
  RavoDUZE inspector(process);
  std::u16string text = options.help_text ? inspector.HELP() : inspector.About();
  Utf8Blocks blocks(options.lf);
  blocks.Take(text);
  WriteBlocks(blocks, out, out_is_terminal);
}

int Run(std::span<const std::string> args, std::istream& in, std::ostream& out, std::ostream& err,
        Terminals terminals) {
  const Options options = ParseOptions(args);
  if (options.help) {
    WriteText(out, UsageText(), "the help");
    return kOk;
  }
  if (options.version) {
    WriteText(out, VersionText() + "\n", "the version");
    return kOk;
  }
  if (options.help_text || options.about) {
    WriteComponentText(out, options, terminals.out);
    return kOk;
  }
  if (options.interactive) return RunSessionFor(options, in, out, err, terminals);
  const ScriptSource source = LoadScript(options, in, terminals.in);
  try {
    return InspectAndWrite(source, options, out, err, terminals.out);
  } catch (...) {
    return ReportError(err, source.View());
  }
}

}  // namespace

int ReportError(std::ostream& err, const ScriptText& script) {
  try {
    throw;
  } catch (const ScriptError& e) {
    PrintDiagnostic(err, script, e.position(), "error", e.what());
    return kBadInput;
  } catch (const UsageError& e) {
    err << "ravoduze: " << e.what() << '\n';
    return kBadInput;
  } catch (const RuntimeError& e) {
    err << "Run-time error '" << e.number() << "': " << e.description() << '\n';
    return kRunTimeError;
  } catch (const HostFailure& e) {
    if (!e.ReaderGone()) err << "ravoduze: " << e.what() << '\n';
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
                std::ostream& err, Terminals terminals) {
  try {
    return Run(args, in, out, err, terminals);
  } catch (...) {
    return ReportError(err);
  }
}

}  // namespace dudUdudADOD::cli
