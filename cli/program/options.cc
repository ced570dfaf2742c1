#include "cli/program/options.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "automation/utf8.h"
#include "cli/script/ascii.h"
#include "cli/script/script_error.h"
#include "inspector/ravoduze.h"
#include "inspector/version_info.h"

namespace dudUdudADOD::cli {

namespace {

struct Member {
  std::string_view name;
  int32_t value;
};

constexpr std::array<Member, 7> kVarMembers = {{
    {"varNOTHING", varNOTHING},
    {"varARG", varARG},
    {"varDef", varDef},
    {"varSA_Stru", varSA_Stru},
    {"varSA_Bounds", varSA_Bounds},
    {"varValues", varValues},
    {"varALLINFO", varALLINFO},
}};

constexpr std::array<Member, 8> kVatMembers = {{
    {"vatNOTHING", vatNOTHING},
    {"vatStdSep", vatStdSep},
    {"vatIndexed", vatIndexed},
    {"vatCharASCII", vatCharASCII},
    {"vatOrdinalPos", vatOrdinalPos},
    {"vatAddrLen", vatAddrLen},
    {"vatLegend", vatLegend},
    {"vatALLINFO", vatALLINFO},
}};

std::span<const Member> MembersOf(FlagWord word) {
  if (word == FlagWord::kVar) return kVarMembers;
  return kVatMembers;
}

using Apply = void (*)(Options&, std::string_view value);

struct OptionRow {
  std::string_view short_name;  // "-f", or empty
  std::string_view long_name;   // "--file", or empty
  std::string_view value_name;  // "FILE"; empty for a switch
  std::string_view help;
  std::span<const Member> members;  // names a flag word accepts
  Apply apply;
};

std::string Names(const OptionRow& row) {
  if (row.short_name.empty()) return std::string(row.long_name);
  if (row.long_name.empty()) return std::string(row.short_name);
  return std::string(row.short_name) + ", " + std::string(row.long_name);
}

template <typename T>
void SetOnce(std::optional<T>& slot, T value, std::string_view option) {
  if (slot) throw UsageError(std::string(option) + " is given twice");
  slot = std::move(value);
}

// --arg-at and --dump, read before the platform is known (below).
automation::Address CommandLineAddress(std::string_view text, std::string_view option);
DumpRequest CommandLineDump(std::string_view text, std::string_view option);

// The platform named by --platform, in any case (WIN64, Win32), as flag
// words are read.
automation::Platform PlatformValue(std::string_view v) {
  for (const automation::Platform platform :
       {automation::Platform::kWin32, automation::Platform::kWin64}) {
    if (SameWord(v, automation::ToUtf8(automation::PlatformName(platform)))) return platform;
  }
  throw UsageError("--platform: \"" + std::string(v) + "\" is not a platform: give win32 or win64");
}

// Sized by its rows: a count written out and one too large would add a
// row with no name, which --help would show as a line of blanks.
constexpr auto kOptions = std::to_array<OptionRow>({
    {"",
     "--platform",
     "NAME",
     "the client process modelled: win32 (default) or win64, in any case",
     {},
     [](Options& o, std::string_view v) { SetOnce(o.platform, PlatformValue(v), "--platform"); }},
    {"", "--var-flags", "N", "which sections the report holds (default 31: all)", kVarMembers,
     [](Options& o, std::string_view v) {
       SetOnce(o.var_flags, FlagWordValue(v, FlagWord::kVar, "--var-flags"), "--var-flags");
     }},
    {"", "--vat-flags", "N", "how values are printed (default 63: all)", kVatMembers,
     [](Options& o, std::string_view v) {
       SetOnce(o.vat_flags, FlagWordValue(v, FlagWord::kVat, "--vat-flags"), "--vat-flags");
     }},
    {"",
     "--sep",
     "TEXT",
     "the text written after each value (default one space)",
     {},
     [](Options& o, std::string_view v) { SetOnce(o.sep, automation::FromUtf8(v), "--sep"); }},
    {"",
     "--debug",
     "",
     "passes DebugF True (the report does not change)",
     {},
     [](Options& o, std::string_view) { SetOnce(o.debug, true, "--debug"); }},
    {"",
     "--arg-at",
     "ADDR",
     "places the argument variant (a Variant itself) at ADDR",
     {},
     [](Options& o, std::string_view v) {
       SetOnce(o.arg_at, CommandLineAddress(v, "--arg-at"), "--arg-at");
     }},
    {"",
     "--json",
     "",
     "prints the report's facts as JSON instead of its text",
     {},
     [](Options& o, std::string_view) { o.json = true; }},
    {"",
     "--footprint",
     "",
     "instead of the report, lists each byte the value occupies by block",
     {},
     [](Options& o, std::string_view) { o.footprint = true; }},
    {"",
     "--svg",
     "FILE",
     "also draws the value's memory map as an SVG picture into FILE (\"-\": standard output, "
     "instead of the report)",
     {},
     [](Options& o, std::string_view v) { SetOnce(o.svg, std::string(v), "--svg"); }},
    {"-k",
     "--keep-going",
     "",
     "prints each section alone; a failed one is one line",
     {},
     [](Options& o, std::string_view) { o.keep_going = true; }},
    {"",
     "--explain",
     "",
     "after the report, decodes its codes and pointers",
     {},
     [](Options& o, std::string_view) { o.explain = true; }},
    {"-f",
     "--file",
     "FILE",
     "reads the script from FILE (\"-\": standard input)",
     {},
     [](Options& o, std::string_view v) { SetOnce(o.file, std::string(v), "-f"); }},
    {"-i",
     "--interactive",
     "",
     "runs statements typed line by line (-f FILE first)",
     {},
     [](Options& o, std::string_view) { o.interactive = true; }},
    {"",
     "--dump",
     "WHERE[:COUNT]",
     "dumps memory, no report: WHERE is ADDR (COUNT bytes, default 64), a variable's NAME (its own "
     "bytes) or *NAME (what its pointer leads to)",
     {},
     [](Options& o, std::string_view v) {
       SetOnce(o.dump, CommandLineDump(v, "--dump"), "--dump");
     }},
    {"",
     "--lf",
     "",
     "writes the report's lines ending in LF instead of CR LF",
     {},
     [](Options& o, std::string_view) { o.lf = true; }},
    {"-q",
     "--quiet",
     "",
     "prints no hints on standard error, only errors",
     {},
     [](Options& o, std::string_view) { o.quiet = true; }},
    {"-h",
     "--help",
     "",
     "prints this help and exits",
     {},
     [](Options& o, std::string_view) { o.help = true; }},
    {"",
     "--version",
     "",
     "prints the version and exits",
     {},
     [](Options& o, std::string_view) { o.version = true; }},
    {"",
     "--help-text",
     "",
     "prints the component's HELP text and exits",
     {},
     [](Options& o, std::string_view) { o.help_text = true; }},
    {"",
     "--about",
     "",
     "prints the component's About text and exits",
     {},
     [](Options& o, std::string_view) { o.about = true; }},
});

const OptionRow* FindOption(std::string_view name) {
  for (const OptionRow& row : kOptions) {
    if (name == row.short_name || name == row.long_name) return &row;
  }
  return nullptr;
}

// "&H..." or "0x...", in any case.
bool IsHex(std::string_view text) {
  return text.size() > 2 && ((text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) ||
                             (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')));
}

// Decimal (with "-") or &H or 0x hex of up to 8 digits, as a 64-bit number;
// hex gives the unsigned 32-bit pattern.
std::optional<int64_t> ParseNumber(std::string_view text) {
  const bool hex = IsHex(text);
  if (hex) text.remove_prefix(2);
  if (text.empty() || (hex && text.size() > 8) || text.size() > 12) return std::nullopt;
  int64_t value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, hex ? 16 : 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (hex && text[0] == '-') return std::nullopt;
  return value;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsLetter(char c) { return Upper(c) >= 'A' && Upper(c) <= 'Z'; }

// A variable's name, as the script writes one: a letter, then letters,
// digits and "_".
bool IsName(std::string_view text) {
  if (text.empty() || !IsLetter(text.front())) return false;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

// Whether a dump's WHERE is meant as a name (no address starts with a letter
// or "*"), so that a slip in it is told as one in a name.
bool IsNameStart(std::string_view where) {
  return !where.empty() && (where.front() == '*' || IsLetter(where.front()));
}

std::optional<int32_t> ParseFlagTerm(std::string_view term, std::span<const Member> members) {
  for (const Member& m : members) {
    if (SameWord(term, m.name)) return m.value;
  }
  const std::optional<int64_t> n = ParseNumber(term);
  if (!n || *n < INT32_MIN || *n > UINT32_MAX) return std::nullopt;
  if (*n > INT32_MAX && !IsHex(term)) return std::nullopt;  // decimal stays signed
  return static_cast<int32_t>(static_cast<uint32_t>(*n));
}

// What an address may be written as, for a usage error.
std::string_view AddressForms(const automation::Layout& layout) {
  return layout.pointer_size == 4
             ? "give 0 to 4294967295, -2147483648 to -1, or hex (0x12F790)"
             : "give 0 to 18446744073709551615, -9223372036854775808 to -1, or hex of up to 16 "
               "digits (0xA73F6EE08C)";
}

// The same on the command line, where the platform may still be chosen.
std::string CommandLineForms() {
  return std::string(AddressForms(automation::kWin32Layout)) +
         "; with --platform win64, a 64-bit address";
}

// Addresses are read as 64-bit ones while the platform may still be named
// later on the command line (NarrowAddress); a text that is no address at all
// hears the forms of the default, 32-bit, process.
automation::Address CommandLineAddress(std::string_view text, std::string_view option) {
  if (auto at = ParseAddress(text, automation::kWin64Layout)) return *at;
  throw UsageError(std::string(option) + ": " + Quote(text) +
                   " is not an address: " + CommandLineForms());
}

DumpRequest CommandLineDump(std::string_view text, std::string_view option) {
  const std::string_view where = text.substr(0, text.find_first_of(": \t"));
  if (!IsNameStart(where)) CommandLineAddress(where, option);
  return DumpRequestValue(text, option, automation::kWin64Layout);
}

// Addresses are read as 64-bit ones while the platform may still be named
// later on the command line; a 32-bit process takes those that fit its width,
// a negative one as the same bits.
void NarrowAddress(std::optional<automation::Address>& at, const char* option) {
  if (!at || *at <= UINT32_MAX) return;
  if (*at < 0xFFFFFFFF80000000u) {
    throw UsageError(std::string(option) + ": " + std::to_string(*at) +
                     " is past the addresses of a win32 process: " + CommandLineForms());
  }
  *at &= UINT32_MAX;
}

}  // namespace

std::optional<int32_t> ParseFlagWord(std::string_view text, FlagWord word) {
  const std::span<const Member> members = MembersOf(word);
  uint32_t flags = 0;
  while (true) {
    const size_t plus = text.find('+');
    const std::optional<int32_t> term = ParseFlagTerm(Trim(text.substr(0, plus)), members);
    if (!term) return std::nullopt;
    flags |= static_cast<uint32_t>(*term);
    if (plus == std::string_view::npos) return static_cast<int32_t>(flags);
    text.remove_prefix(plus + 1);
  }
}

int32_t FlagWordValue(std::string_view text, FlagWord word, std::string_view option) {
  if (std::optional<int32_t> flags = ParseFlagWord(text, word)) return *flags;
  std::string names;
  for (const Member& m : MembersOf(word)) {
    names += (names.empty() ? "" : ", ") + std::string(m.name);
  }
  throw UsageError(std::string(option) + ": " + Quote(text) +
                   " is not a flag word: give a number (31, -1, 0x1F) or names joined by + (" +
                   names + ")");
}

std::optional<automation::Address> ParseAddress(std::string_view text,
                                                const automation::Layout& layout) {
  const bool wide = layout.pointer_size == 8;
  const bool hex = IsHex(text);
  if (hex) text.remove_prefix(2);
  if (text.empty() || text.size() > (hex ? 2 * layout.pointer_size : 20)) return std::nullopt;
  if (text[0] == '-' || text[0] == '+') {
    if (hex || text[0] == '+') return std::nullopt;
    int64_t shown = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), shown);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!wide && shown < INT32_MIN) return std::nullopt;
    return automation::ToAddress(layout, shown);
  }
  uint64_t value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, hex ? 16 : 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!wide && value > UINT32_MAX) return std::nullopt;
  return value;
}

automation::Address AddressValue(std::string_view text, std::string_view option,
                                 const automation::Layout& layout) {
  if (std::optional<automation::Address> at = ParseAddress(text, layout)) return *at;
  throw UsageError(std::string(option) + ": " + Quote(text) +
                   " is not an address: " + std::string(AddressForms(layout)));
}

DumpRequest DumpRequestValue(std::string_view text, std::string_view option,
                             const automation::Layout& layout) {
  const size_t split = text.find_first_of(": \t");
  const std::string_view where = text.substr(0, split);
  DumpRequest request;
  if (IsNameStart(where)) {
    request.follow = where.front() == '*';
    request.name = std::string(where.substr(request.follow ? 1 : 0));
    if (!IsName(request.name)) {
      throw UsageError(std::string(option) + ": " + Quote(where) +
                       " is no variable's name: give NAME or *NAME, as in s or *s");
    }
  } else {
    request.address = AddressValue(where, option, layout);
  }
  if (split == std::string_view::npos) return request;
  std::string_view count = text.substr(split + 1);
  while (!count.empty() && (count.front() == ' ' || count.front() == '\t')) count.remove_prefix(1);
  const std::optional<int64_t> n = ParseNumber(count);
  if (!n || *n < 1 || *n > kMaxDumpBytes) {
    throw UsageError(std::string(option) + ": " + Quote(count) +
                     " is not a byte count: give 1 to " + std::to_string(kMaxDumpBytes));
  }
  request.count = static_cast<uint32_t>(*n);
  return request;
}

std::string VersionText() {
  return "ravoduze " + automation::ToUtf8(inspector::kVersionInfo.fixed_version);
}

// Applies the option at args[i], taking its value from the same argument
// ("--sep=x") or the next one; moves i past what it used.
static void ApplyOption(Options& options, std::span<const std::string> args, size_t& i) {
  const std::string& arg = args[i];
  const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
  const std::string name = arg.substr(0, equals);
  const OptionRow* row = FindOption(name);
  if (row == nullptr) {
    throw UsageError("unknown option " + Quote(name) +
                     " (see --help; a script that starts with \"-\" goes after \"--\")");
  }
  std::string_view value;
  if (row->value_name.empty()) {
    if (equals != std::string::npos) throw UsageError(name + " takes no value");
  } else if (equals != std::string::npos) {
    value = std::string_view(arg).substr(equals + 1);
  } else if (i + 1 < args.size()) {
    value = args[++i];
  } else {
    throw UsageError(name + " needs a value (" + std::string(row->value_name) + ")");
  }
  row->apply(options, value);
}

// Outputs that exclude each other. -i with --dump is the session's own
// refusal (run.cc), which says what a session does instead.
void RefuseTogether(const Options& o) {
  const struct {
    bool both;
    std::string_view first, second, why;
  } pairs[] = {
      {o.json && o.footprint, "--json", "--footprint", "the JSON document holds the footprint"},
      {o.svg == "-" && o.json, "--svg -", "--json", "both would write to standard output"},
      {o.svg == "-" && o.footprint, "--svg -", "--footprint",
       "both would write to standard output"},
      {o.interactive && o.json, "-i", "--json", "a session prints text reports (? NAME)"},
      {o.interactive && o.footprint, "-i", "--footprint", "a session prints text reports (? NAME)"},
      {o.interactive && o.svg, "-i", "--svg", "a session prints text reports (? NAME)"},
      {o.dump && o.json, "--dump", "--json", "--dump prints memory instead of any report"},
      {o.dump && o.svg, "--dump", "--svg", "--dump prints memory instead of any report"},
      {o.dump && o.footprint, "--dump", "--footprint",
       "--dump prints memory instead of any report"},
      {o.keep_going && o.json, "-k", "--json",
       "the JSON document already holds every fact before an error, and the error"},
      {o.keep_going && o.footprint, "-k", "--footprint", "the footprint has no sections"},
      {o.keep_going && o.dump.has_value(), "-k", "--dump",
       "--dump prints memory instead of any report"},
      {o.explain && o.json, "--explain", "--json", "the JSON document holds the decoded facts"},
      {o.explain && o.footprint, "--explain", "--footprint", "--explain follows a text report"},
      {o.explain && o.dump.has_value(), "--explain", "--dump",
       "--dump prints memory instead of any report"},
      {o.svg == "-" && o.keep_going, "--svg -", "-k",
       "the picture alone goes to standard output, no report"},
      {o.svg == "-" && o.explain, "--svg -", "--explain",
       "the picture alone goes to standard output, no report"},
  };
  for (const auto& p : pairs) {
    if (p.both) {
      throw UsageError(std::string(p.first) + " and " + std::string(p.second) +
                       " cannot go together: " + std::string(p.why));
    }
  }
}

Options ParseOptions(std::span<const std::string> args) {
  Options options;
  bool only_script = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!only_script && arg == "--") {
      only_script = true;
    } else if (!only_script && arg == "-") {
      SetOnce(options.file, std::string(arg), "the script from standard input (-)");
    } else if (!only_script && arg.size() >= 2 && arg[0] == '-') {
      ApplyOption(options, args, i);
    } else if (options.script) {
      throw UsageError("more than one script given (" + Quote(arg) +
                       "): put the whole script in one argument, quoted");
    } else {
      options.script = arg;
    }
  }
  if (options.script && options.file) {
    throw UsageError("give the script either as an argument or with -f FILE, not both");
  }
  if (options.platform.value_or(automation::Platform::kWin32) == automation::Platform::kWin32) {
    NarrowAddress(options.arg_at, "--arg-at");
    std::optional<automation::Address> dump_at;
    if (options.dump) dump_at = options.dump->address;
    NarrowAddress(dump_at, "--dump");
    if (dump_at) options.dump->address = *dump_at;
  }
  RefuseTogether(options);
  return options;
}

constexpr std::string_view kIntro =
    "Usage: ravoduze [OPTION]... [SCRIPT | -f FILE | -]\n"
    "       ravoduze -i [OPTION]... [-f FILE]\n"
    "\n"
    "Runs SCRIPT, a few BASIC-style statements that declare variables, passes the\n"
    "last one to the inspector and prints its report: how the variable lies in the\n"
    "memory of a modelled 32-bit client. The script may also come from a file, or\n"
    "from standard input (\"-\", or a pipe). Without one: Dim x As Long = 5\n"
    "With -i, reads statements from standard input one line at a time, keeping\n"
    "every variable, and prints the report of any variable asked for with ? NAME.\n"
    "Hints about a failed or surprising report go to standard error (-q: none).\n"
    "\n"
    "Options:\n";

constexpr std::string_view kDetails =
    "\n"
    "N is a number (31, -1, 0x1F, &H1F) or names joined by + (varARG+varValues), in\n"
    "any case. ADDR is 0 to 4294967295, hex (0x12F790 or &H12F790), or -2147483648\n"
    "to -1 for the same bits; with --platform win64, any 64-bit address.\n"
    "\n"
    "Script: statements on separate lines or separated by \";\", ' starts a comment.\n"
    "  Dim x As Long = 5            Dim s As String = \"a\"\"b\"     Dim v = #1/2/2000#\n"
    "  Dim a(1 To 3) As Byte = {1, 2, 3}       Dim m(0 To 2, 1 To 4) As Integer\n"
    "  Dim d() As Long; ReDim d(1 To 4)        Erase d      Dim o As Object\n"
    "  Dim x As Long At 1243000 = 5            Set o = New Foo(\"default value\")\n"
    "  v = Array(1, \"two\", 3.5)       CInt(40000)       RawVariant(8, 0, 0, 0, 0, 0)\n"
    "  a(2) = 5     m(1, 4)     ReDim Preserve d(1 To 8)     Dim o As New Foo\n"
    "  Dim b() As Byte = FileBytes(\"data.bin\")      x = 0x140000\n"
    "  Dim f As String * 8 = \"abc\"   Debug.Print \"f = \" & f; 42, True   ' prints\n"
    "Types: Integer Long LongPtr Single Double Currency Date String Boolean Byte\n"
    "Variant Object, and with --platform win64 LongLong. Conversions: CByte CInt CLng\n"
    "CLngPtr CLngLng CSng CDbl CCur CDate CStr CBool CDec CVErr CVar. The last\n"
    "statement's variable is inspected; a last statement that is only a value is\n"
    "inspected as a temporary; Debug.Print prints first and does not count.\n"
    "\n"
    "Examples:\n"
    "  ravoduze 'Dim x As Long = 5'\n"
    "  ravoduze --var-flags varValues 'Dim a(1 To 4) As Byte = {72, 0, 105, 0}'\n"
    "  ravoduze --vat-flags vatIndexed+vatLegend --sep , 'Dim m(1, 2) As Byte'\n"
    "  ravoduze --arg-at 0x120000 'Dim v As Variant = \"text\"'\n"
    "  echo 'RawVariant(3, 1, 2, 3, 5, 0)' | ravoduze\n"
    "  ravoduze --dump '*s' 'Dim s As String = \"abc\"'   # the text s points to\n"
    "  printf 'Dim x As Long = 5\\n? x\\n:x x\\n' | ravoduze -i  # see :help\n"
    "\n"
    "Exit status: 0 the report was printed, or the -i session ended;\n"
    "1 a run-time error (\"Run-time error 'N': ...\" on standard error, no report);\n"
    "2 a script error or a usage error; 3 the host failed (out of memory, or the\n"
    "output could not be written; silently when its reader has gone, as in | head).\n"
    "A piped -i session exits 1 or 2 when a line failed so. In a terminal, Ctrl-C\n"
    "cancels the line being typed.\n";

// The names a flag word accepts, wrapped under the option's help.
static void AppendMembers(std::string& text, std::span<const Member> members) {
  constexpr size_t kIndent = 24;
  std::string line = std::string(kIndent, ' ') + "names:";
  for (const Member& m : members) {
    if (line.size() + 1 + m.name.size() > 80) {
      text += line + "\n";
      line = std::string(kIndent + 6, ' ');
    }
    line += " " + std::string(m.name);
  }
  text += line + "\n";
}

// `line` (the option's names, padded) and then `help`, wrapped at word
// boundaries into lines of at most 80 columns, each later one indented to
// the help's column: a terminal of 80 columns shows no stray word on a line
// of its own.
static void AppendWrapped(std::string& text, std::string line, std::string_view help) {
  constexpr size_t kIndent = 24, kWidth = 80;
  size_t words_on_line = 0;
  while (!help.empty()) {
    const size_t end = std::min(help.find(' '), help.size());
    const std::string_view word = help.substr(0, end);
    if (words_on_line > 0 && line.size() + 1 + word.size() > kWidth) {
      text += line + "\n";
      line = std::string(kIndent, ' ');
      words_on_line = 0;
    }
    line += (words_on_line++ > 0 ? " " : "") + std::string(word);
    help.remove_prefix(std::min(end + 1, help.size()));
  }
  text += line + "\n";
}

std::string UsageText() {
  std::string text(kIntro);
  for (const OptionRow& row : kOptions) {
    std::string line = "  " + Names(row);
    if (!row.value_name.empty()) line += " " + std::string(row.value_name);
    line.resize(std::max<size_t>(line.size() + 2, 24), ' ');
    AppendWrapped(text, std::move(line), row.help);
    if (!row.members.empty()) AppendMembers(text, row.members);
  }
  return text + std::string(kDetails);
}

}  // namespace dudUdudADOD::cli
