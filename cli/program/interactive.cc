#include "cli/program/interactive.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "automation/runtime_error.h"
#include "automation/utf8.h"
#include "cli/output/explain.h"
#include "cli/program/hints.h"
#include "cli/program/keep_going.h"
#include "cli/program/memory_dump.h"
#include "cli/program/run.h"
#include "cli/program/variable_memory.h"
#include "cli/script/ascii.h"
#include "cli/script/interpreter.h"
#include "cli/script/lexer.h"
#include "cli/script/parser.h"
#include "cli/script/script_error.h"
#include "inspector/ravoduze.h"
#include "model/process.h"

namespace dudUdudADOD::cli {

namespace {

constexpr std::string_view kGreeting =
    ": type statements, ? NAME for a report, :help for more, :quit to end\n";

constexpr std::string_view kHelp =
    "Statements run as in a script and keep their variables:  Dim x As Long = 5\n"
    "? NAME, print NAME   prints the report of a variable (? VALUE: of a value)\n"
    "NAME                 the same: a line that is only a name or a value\n"
    ":var-flags [N]       which sections reports hold (default 31: all)\n"
    ":vat-flags [N]       how values are printed (default 63: all)\n"
    ":sep [TEXT]          the text after each value, \"...\" to show spaces\n"
    "                     (default one space)\n"
    ":arg-at [ADDR|off]   places the argument variant at ADDR (default off)\n"
    ":debug [on|off]      passes DebugF True (default off)\n"
    ":keep-going [on|off] prints each section alone, a failed one as one line\n"
    ":explain [on|off]    after each report, decodes its codes and pointers\n"
    ":x ADDR [COUNT]      dumps COUNT bytes (default 64) of memory from ADDR\n"
    ":x NAME, :x *NAME    dumps a variable's own bytes, or what its pointer leads to\n"
    ":help                prints this help\n"
    ":quit                ends the session, as the end of input does\n"
    "A command without a value goes back to the default. N and ADDR are written\n"
    "as for the options (ravoduze --help).\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The 1-based column of byte `offset` of `line`, counted in characters.
int ColumnOf(std::string_view line, size_t offset) {
  int column = 1;
  for (size_t i = 0; i < offset && i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++column;
  }
  return column;
}

// The length of the word that asks for a report ("?" or "print") at
// `start`, or 0 when the line does not start with one.
size_t InspectWordAt(std::string_view line, size_t start) {
  if (line[start] == '?') return 1;
  constexpr std::string_view kPrint = "print";
  const std::string_view word = line.substr(start, kPrint.size());
  const size_t after = start + kPrint.size();
  if (!SameWord(word, kPrint) || (after < line.size() && !IsBlank(line[after]))) return 0;
  return kPrint.size();
}

// :sep's value: the text as it stands, or a string in double quotes with ""
// for a quote, which shows leading and trailing spaces.
std::string SepText(std::string_view value) {
  if (value.empty() || value.front() != '"') return std::string(value);
  std::string text;
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] != '"') {
      text += value[i];
    } else if (i + 1 < value.size() && value[i + 1] == '"') {
      text += value[++i];
    } else if (value.find_first_not_of(" \t", i + 1) == std::string_view::npos) {
      return text;
    } else {
      throw UsageError(":sep: text follows the closing quote; write \"\" for a quote");
    }
  }
  throw UsageError(":sep: the text in quotes has no closing quote");
}

std::string Quoted(const std::u16string& text) {
  std::string quoted = "\"";
  for (char c : automation::ToUtf8(text))
    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

enum class LineStatus { kLine, kTooLong, kEnd };

// Reads one line without its LF or CR LF. A line longer than
// kMaxScriptBytes is read to its end but not kept.
LineStatus ReadLine(std::istream& in, std::string& line) {
  line.clear();
  bool any = false;
  bool too_long = false;
  for (int c = in.get(); c != std::istream::traits_type::eof(); c = in.get()) {
    any = true;
    if (c == '\n') break;
    if (line.size() < kMaxScriptBytes) {
      line += static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (!any) return LineStatus::kEnd;
  return too_long ? LineStatus::kTooLong : LineStatus::kLine;
}

class Session {
 public:
  Session(const Options& options, std::ostream& out, bool prompt, LineEditor* editor)
      : options_(options), out_(out), prompt_(prompt), editor_(editor) {
    interpreter_.set_printer([this](std::string_view text) { Print(text); });
  }

  // Runs one input line; false when it ends the session.
  bool Handle(std::string line);
  // Runs a script's statements, as -i -f FILE does before the first line.
  void Preload(const ScriptSource& source) {
    interpreter_.RunStatements(ParseScript(source.text, Platform()));
  }

  // Ends a line that Debug.Print left open: each input line prints whole.
  void EndPrintLine() { interpreter_.EndPrintLine(); }

  // The hint or note lines the last line left for standard error, once.
  std::string TakeHints() { return std::exchange(hints_, std::string()); }
  // Whether the last line's report, made section by section, lost a section.
  bool TakeSectionFailure() { return std::exchange(section_failed_, false); }

 private:
  struct Command {
    std::string_view name;
    void (Session::*apply)(std::string_view value);
  };

  // The platform the session models, for the parser.
  automation::Platform Platform() const { return process_.memory().layout().platform; }
  bool RunCommand(const std::string& line, size_t start);
  void InspectOnly(const Script& script, size_t start, const std::string& line);
  void Inspect(const Expr& value);
  void CheckVariantPlace(const Expr& value) const;
  void Write(std::string_view text);
  void Print(std::string_view text);

  void SetVarFlags(std::string_view value);
  void SetVatFlags(std::string_view value);
  void SetSep(std::string_view value);
  void SetArgAt(std::string_view value);
  void SetDebug(std::string_view value);
  void SetKeepGoing(std::string_view value);
  void SetExplain(std::string_view value);
  std::u16string ReportOf(automation::Address argument);
  void Help(std::string_view value);
  void Dump(std::string_view value);

  static const std::array<Command, 9> kCommands;

  Options options_;
  std::ostream& out_;
  bool prompt_;
  LineEditor* editor_;  // tells of a Ctrl-C while a line ran; may be null
  automation::Process process_{options_.platform.value_or(automation::Platform::kWin32)};
  Interpreter interpreter_{process_};
  std::string hints_;
  bool section_failed_ = false;
};

const std::array<Session::Command, 9> Session::kCommands = {{
    {"x", &Session::Dump},
    {"var-flags", &Session::SetVarFlags},
    {"vat-flags", &Session::SetVatFlags},
    {"sep", &Session::SetSep},
    {"arg-at", &Session::SetArgAt},
    {"debug", &Session::SetDebug},
    {"keep-going", &Session::SetKeepGoing},
    {"explain", &Session::SetExplain},
    {"help", &Session::Help},
}};

bool Session::Handle(std::string line) {
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return true;
  if (line[start] == ':') return RunCommand(line, start);
  if (const size_t word = InspectWordAt(line, start)) {
    line.replace(start, word, word, ' ');  // keeps the columns of what follows
    InspectOnly(ParseScript(line, Platform()), start, line);
    return true;
  }
  const Script script = ParseScript(line, Platform());
  const auto* alone = script.statements.size() == 1
                          ? std::get_if<ExprStatement>(&script.statements.front())
                          : nullptr;
  if (alone != nullptr) {
    Inspect(alone->value);
  } else {
    interpreter_.RunStatements(script);
  }
  return true;
}

bool Session::RunCommand(const std::string& line, size_t start) {
  const size_t name_end = std::min(line.find_first_of(" \t", start), line.size());
  const std::string_view name = std::string_view(line).substr(start + 1, name_end - start - 1);
  size_t value_start = std::min(line.find_first_not_of(" \t", name_end), line.size());
  std::string_view value = std::string_view(line).substr(value_start);
  if (name != "sep") value = value.substr(0, value.find_last_not_of(" \t") + 1);
  if (name == "quit") return false;
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    try {
      (this->*command.apply)(value);
    } catch (const UsageError& e) {
      throw ScriptError({1, ColumnOf(line, value_start)}, e.what());
    }
    return true;
  }
  throw ScriptError({1, ColumnOf(line, start)}, "unknown command " +
                                                    Quote(line.substr(start, name_end - start)) +
                                                    ": :help lists the commands");
}

void Session::InspectOnly(const Script& script, size_t start, const std::string& line) {
  const auto* alone = script.statements.size() == 1
                          ? std::get_if<ExprStatement>(&script.statements.front())
                          : nullptr;
  if (alone == nullptr) {
    throw ScriptError({1, ColumnOf(line, start)},
                      "? takes one variable name or value, as in ? x or ? CInt(7)");
  }
  Inspect(alone->value);
}

void Session::Inspect(const Expr& value) {
  CheckVariantPlace(value);
  std::u16string report;
  interpreter_.PassFor(value, options_.arg_at,
                       [&](automation::Address argument) { report = ReportOf(argument); });
  // Ctrl-C while the report was made: the user no longer wants it.
  if (editor_ != nullptr && editor_->TakeInterrupt()) {
    hints_.clear();
    return;
  }
  errno = 0;
  WriteUtf8(out_, report);
  // Some reports end without a line break; at a terminal the prompt must not
  // follow on the same line.
  if (prompt_ && !report.empty() && report.back() != u'\n') out_ << "\r\n";
  out_.flush();
  CheckWritten(out_, "the report");
}

// Collects a report made section by section (:keep-going on).
class TextBySection : public SectionSink {
 public:
  void Take(std::u16string& text) override {
    report += text;
    text.clear();
  }
  void Drop() override { report.resize(kept_); }
  void End() override { kept_ = report.size(); }

  std::u16string report;

 private:
  size_t kept_ = 0;
};

// The report of the argument (and with :explain on, its explanation); a
// run-time error leaves with its hint, or with :keep-going on is a line.
std::u16string Session::ReportOf(automation::Address argument) {
  std::u16string report;
  if (options_.keep_going) {
    TextBySection sections;
    const std::vector<SectionFailure> failures =
        ReportBySection(process_, argument, options_, sections);
    report = std::move(sections.report);
    section_failed_ = !failures.empty();
    if (!options_.quiet) hints_ = KeepGoingHint(process_, argument, options_, failures, ":");
  } else {
    RavoDUZE inspector(process_);
    try {
      report =
          inspector(argument, options_.debug, options_.var_flags, options_.vat_flags, options_.sep);
    } catch (const RuntimeError& e) {
      if (!options_.quiet) hints_ = FailureHint(process_, argument, options_, ":", e.number());
      throw;
    }
    if (!options_.quiet) hints_ = CharAsciiNote(process_, argument, options_, ":");
  }
  if (options_.explain) {
    if (!report.empty() && report.back() != u'\n') report += u"\r\n";
    report += automation::FromUtf8(ExplainReport(process_, argument, options_.var_flags, false));
  }
  return report;
}

// A Variant passes as itself, so :arg-at can only name where it lies.
void Session::CheckVariantPlace(const Expr& value) const {
  if (!options_.arg_at || value.kind != ExprKind::kVariable) return;
  const std::optional<automation::Variable> variable = interpreter_.Find(value.text);
  if (!variable || variable->kind != automation::VariableKind::kVariant) return;
  if (variable->address == *options_.arg_at) return;
  const std::string at = std::to_string(*options_.arg_at);
  throw ScriptError(value.position, Quote(value.text) +
                                        " is a Variant, which passes as itself: it lies at " +
                                        std::to_string(variable->address) + ", not at " + at +
                                        " (declare it with At " + at + ", or give :arg-at off)");
}

void Session::Write(std::string_view text) {
  errno = 0;
  out_ << text << std::flush;
  CheckWritten(out_, "to standard output");
}

// What Debug.Print prints, its lines ended as the report's are.
void Session::Print(std::string_view text) {
  std::string lines;
  for (const char c : text) {
    lines += c == '\n' && !options_.lf ? std::string("\r\n") : std::string(1, c);
  }
  Write(lines);
}

void Session::SetVarFlags(std::string_view value) {
  options_.var_flags.reset();
  if (!value.empty()) options_.var_flags = FlagWordValue(value, FlagWord::kVar, ":var-flags");
}

void Session::SetVatFlags(std::string_view value) {
  options_.vat_flags.reset();
  if (!value.empty()) options_.vat_flags = FlagWordValue(value, FlagWord::kVat, ":vat-flags");
}

void Session::SetSep(std::string_view value) {
  options_.sep.reset();
  if (!value.empty()) options_.sep = automation::FromUtf8(SepText(value));
}

void Session::SetArgAt(std::string_view value) {
  options_.arg_at.reset();
  if (!value.empty() && !SameWord(value, "off")) {
    options_.arg_at = AddressValue(value, ":arg-at", process_.memory().layout());
  }
}

void Session::SetDebug(std::string_view value) {
  if (value.empty() || SameWord(value, "off")) {
    options_.debug.reset();
  } else if (SameWord(value, "on")) {
    options_.debug = true;
  } else {
    throw UsageError(":debug: give on or off, not " + Quote(value));
  }
}

// :keep-going and :explain: on, off, or nothing for the default (off).
static bool Switch(std::string_view value, std::string_view command) {
  if (value.empty() || SameWord(value, "off")) return false;
  if (SameWord(value, "on")) return true;
  throw UsageError(std::string(command) + ": give on or off, not " + Quote(value));
}

void Session::SetKeepGoing(std::string_view value) {
  options_.keep_going = Switch(value, ":keep-going");
}

void Session::SetExplain(std::string_view value) { options_.explain = Switch(value, ":explain"); }

void Session::Dump(std::string_view value) {
  if (value.empty()) {
    throw UsageError(":x: give an address or a variable, as in :x 0x140000 16, :x s or :x *s");
  }
  const DumpRequest request = DumpRequestValue(value, ":x", process_.memory().layout());
  const cli::Dump dump = DumpFor(request, interpreter_, process_.memory(), ":x");
  Write(MemoryDump(process_.memory(), dump, options_.lf));
}

void Session::Help(std::string_view) {
  const auto number = [](const std::optional<int32_t>& n, int32_t fallback) {
    return std::to_string(n.value_or(fallback));
  };
  Write(std::string(kHelp) + "Now: :var-flags " + number(options_.var_flags, varALLINFO) +
        ", :vat-flags " + number(options_.vat_flags, vatALLINFO) + ", :sep " +
        Quoted(options_.sep.value_or(u" ")) + ", :arg-at " +
        (options_.arg_at ? std::to_string(*options_.arg_at) : "off") + ", :debug " +
        (options_.debug.value_or(false) ? "on" : "off") + ", :keep-going " +
        (options_.keep_going ? "on" : "off") + ", :explain " + (options_.explain ? "on" : "off") +
        "\n");
}

// Where the session's lines come from: an editor at a terminal, else the
// input stream (with "> " written to `out` when prompting).
class LineSource {
 public:
  LineSource(std::istream& in, std::ostream& out, bool prompt, LineEditor* editor)
      : in_(in), out_(out), prompt_(prompt), editor_(editor) {}

  LineStatus Next(std::string& line, const std::string& prompt = "> ") {
    if (editor_ != nullptr) {
      out_.flush();
      std::optional<std::string> typed = editor_->ReadLine(prompt);
      if (!typed) return LineStatus::kEnd;
      line = std::move(*typed);
      if (line.size() > kMaxScriptBytes) return LineStatus::kTooLong;
      if (line.find_first_not_of(" \t") != std::string::npos) editor_->Remember(line);
      return LineStatus::kLine;
    }
    if (prompt_) out_ << prompt << std::flush;
    return ReadLine(in_, line);
  }

 private:
  std::istream& in_;
  std::ostream& out_;
  bool prompt_;
  LineEditor* editor_;
};

// A list in braces that a line of statements leaves open goes on over the
// next lines (after a "... " prompt), which join it and count in `number`.
// An input that ends first is an error at the "{".
void ReadOpenList(LineSource& lines, std::string& text, int& number) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos || text[start] == ':') return;  // a command
  for (std::optional<Position> open = UnclosedList(text); open; open = UnclosedList(text)) {
    std::string line;
    const LineStatus status = lines.Next(line, "... ");
    if (status == LineStatus::kEnd) {
      throw ScriptError(*open,
                        "the list of values in braces is not closed: the input ended "
                        "before its \"}\"");
    }
    ++number;
    if (status == LineStatus::kTooLong || text.size() + line.size() >= kMaxScriptBytes) {
      throw ScriptError(*open, "the list of values is longer than " +
                                   std::to_string(kMaxScriptBytes >> 20) + " MiB: skipped");
    }
    text += '\n' + line;
  }
}

}  // namespace

int RunSession(const Options& options, const ScriptSource* preload, std::istream& in,
               std::ostream& out, std::ostream& err, bool prompt, LineEditor* editor) {
  Session session(options, out, prompt, editor);
  if (prompt) out << VersionText() << kGreeting;
  int worst = kOk;
  const auto failed = [&](const ScriptText& where) {
    const int code = ReportError(err, where);
    err << session.TakeHints();
    worst = std::max(worst, code);
    return code;
  };
  if (preload != nullptr) {
    try {
      session.Preload(*preload);
    } catch (...) {
      failed(preload->View());
    }
    session.EndPrintLine();
  }
  LineSource lines(in, out, prompt, editor);
  std::string line;
  for (int number = 1;; ++number) {
    const LineStatus status = lines.Next(line);
    if (status == LineStatus::kEnd) break;
    std::string text = status == LineStatus::kTooLong ? std::string() : line;
    const int first = number;
    try {
      if (status == LineStatus::kTooLong) {
        throw ScriptError({1, 1}, "the line is longer than " +
                                      std::to_string(kMaxScriptBytes >> 20) + " MiB: skipped");
      }
      ReadOpenList(lines, text, number);
      if (!session.Handle(text)) break;
      session.EndPrintLine();
      err << session.TakeHints();
      if (session.TakeSectionFailure()) worst = std::max(worst, int{kRunTimeError});
    } catch (...) {
      session.EndPrintLine();
      if (failed({"<stdin>", text, first}) == kHostFailure && !out) return kHostFailure;
    }
    if (!out) {
      // A reader that has gone (| head) ends the session without a word.
      if (errno != EPIPE) err << "ravoduze: cannot write to standard output\n";
      return kHostFailure;
    }
  }
  if (prompt) out << '\n' << std::flush;
  return prompt ? kOk : worst;
}

}  // namespace dudUdudADOD::cli
