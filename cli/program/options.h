// The ravoduze command line: one table of options, which both the parser
// and the --help text are generated from.
//
// Used by RunRavoduze. ParseOptions reads the arguments after the program
// name; an option not given stays nullopt, which the main call takes as an
// omitted parameter. Values may follow as the next argument or after "="
// ("--var-flags=16"); "--" ends the options, so a script may start with "-".
// Anything wrong raises UsageError naming the option and the text; so do
// outputs that exclude each other (--json with --footprint, either or --svg
// with -i or --dump, and --svg - with either: both would write to standard
// output), naming both.
#ifndef DUD_CLI_PROGRAM_OPTIONS_H_
#define DUD_CLI_PROGRAM_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/address_space.h"

namespace dudUdudADOD::cli {

// A run of memory to dump: `count` bytes from `address`.
struct MemoryRange {
  automation::Address address = 0;
  uint32_t count = 0;
};

// What --dump and :x ask for: COUNT bytes from an address, or a variable by
// name: its own bytes (NAME) or what the pointer it holds leads to (*NAME),
// found once the script has run (variable_memory.h).
struct DumpRequest {
  std::optional<automation::Address> address;  // nullopt: a variable by name
  std::string name;                            // the variable, when no address
  bool follow = false;                         // "*NAME": follow its pointer
  std::optional<uint32_t> count;               // nullopt: 64 from an address, a variable's own size
};

// What --dump and :x show from an address when no COUNT is given: four rows.
inline constexpr uint32_t kDefaultDumpBytes = 64;
// The most they show at once.
inline constexpr uint32_t kMaxDumpBytes = uint32_t{1} << 20;

struct Options {
  std::optional<automation::Platform> platform;  // the process modelled; win32 when not given
  std::optional<int32_t> var_flags;
  std::optional<int32_t> vat_flags;
  std::optional<std::u16string> sep;
  std::optional<bool> debug;
  std::optional<automation::Address> arg_at;
  std::optional<std::string> script;  // given on the command line
  std::optional<std::string> file;    // -f FILE; "-" is standard input
  bool interactive = false;           // -i: statements from standard input, line by line
  bool json = false;                  // the structured twin instead of the text
  bool footprint = false;             // the footprint table instead of the text
  std::optional<std::string> svg;     // draws the memory map into this file; "-": stdout alone
  bool quiet = false;                 // -q: no hints on standard error
  bool lf = false;                    // --lf: the report's CR LF line ends written as LF
  std::optional<DumpRequest> dump;    // --dump WHERE[:COUNT], after the script has run
  bool keep_going = false;            // -k: each section asked for on its own (keep_going.h)
  bool explain = false;               // --explain: the codes and pointers decoded (explain.h)
  bool help = false;
  bool version = false;
  bool help_text = false;  // the component's HELP text
  bool about = false;      // the component's About text
};

Options ParseOptions(std::span<const std::string> args);

// "ravoduze 1.0.0.4": the component's version, from inspector/version_info.h.
std::string VersionText();

// The --help text, ending in a newline.
std::string UsageText();

// Which flag word a value is for: it decides the member names accepted.
enum class FlagWord { kVar, kVat };

// A flag word: a decimal number (negative allowed), &H or 0x hex (up to 8 digits,
// a 32-bit pattern), or terms joined by "+" (member names in any case, or
// numbers), combined bit by bit. nullopt when the text is none of these.
std::optional<int32_t> ParseFlagWord(std::string_view text, FlagWord word);
// The same, raising UsageError when the text is none of these: "OPTION:
// "TEXT" is not a flag word: give ...", listing the names it accepts.
int32_t FlagWordValue(std::string_view text, FlagWord word, std::string_view option);

// An address of a process with `layout`'s pointer width w: decimal 0 to
// 2^w - 1 or -2^(w-1) to -1 (the same bit pattern, as reports show it), or &H
// or 0x hex of up to w/4 digits. nullopt otherwise. ParseOptions reads
// --arg-at and --dump as 64-bit and narrows them when the process is 32-bit.
std::optional<automation::Address> ParseAddress(std::string_view text,
                                                const automation::Layout& layout);
// The same, raising UsageError naming `option` when the text is not one.
automation::Address AddressValue(std::string_view text, std::string_view option,
                                 const automation::Layout& layout);

// "WHERE" or "WHERE:COUNT" (also "WHERE COUNT"; COUNT 1 to kMaxDumpBytes,
// decimal or hex), as --dump and :x take them. WHERE is an address as
// above, a variable's name (it starts with a letter) or "*" and a name;
// raises UsageError naming `option`.
DumpRequest DumpRequestValue(std::string_view text, std::string_view option,
                             const automation::Layout& layout);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_OPTIONS_H_
