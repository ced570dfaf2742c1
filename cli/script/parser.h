// Parser: turns a ravoduze script into its syntax tree (ast.h).
//
// Used by RunRavoduze and by tests. Grammar (keywords in any case; a
// statement ends at a line break, ";" or the end of the script):
//
//   statement  := dim | redim | erase | assign | print | expr
//               | "Option" "Explicit"        (a script's rule anyway: skipped)
//   dim        := "Dim" declarator {"," declarator}
//   declarator := NAME ["(" [bounds] ")"] ["As" (TYPE ["*" LENGTH] | "New" CLASS)]
//                 [clause [clause]]             (String * LENGTH: not for arrays)
//   clause     := "At" expr | "=" (expr | "{" [expr {"," expr}] "}")
//   bounds     := bound {"," bound}          (1 to 60 of them)
//   bound      := expr ["To" expr]
//   redim      := "ReDim" ["Preserve"] NAME "(" bounds ")"
//   erase      := "Erase" NAME {"," NAME}
//   assign     := ["Set" | "Let"] NAME ["(" expr {"," expr} ")"] "=" expr
//   print      := "Debug" "." "Print" {[expr] [";" | ","]}   (";" separates here)
//   expr       := unary {"&" unary}
//   unary      := ("-" | "+") unary | NUMBER | STRING | DATE | "(" expr ")"
//               | "True" | "False" | "Empty" | "Null" | "Nothing" | NAME
//               | NAME "(" expr {"," expr} ")"           (an array's element)
//               | CONVERSION "(" expr ")" | "Array" "(" [expr {"," expr}] ")"
//               | "New" CLASS ["(" expr ")"] | "RawVariant" "(" expr x 6 ")"
//
// TYPE is Integer, Long, LongLong, LongPtr, Single, Double, Currency, Date,
// String, Boolean, Byte, Variant or Object (Variant when "As" is left out);
// CONVERSION is CByte, CInt, CLng, CLngLng, CLngPtr, CSng, CDbl, CCur, CDate,
// CStr, CBool, CDec, CVErr or CVar. A list in braces may span lines. Signs, parentheses and calls
// nest at most kMaxNesting deep, so no script can exhaust the host's stack,
// and a script's tree holds at most kMaxTreeBytes, so none exhausts its
// memory.
//
// Errors raise ScriptError at the offending token, saying what was expected
// and what was found, with a "did you mean" for a misspelled statement word
// or type. A statement word, operator or function of the language scripts
// come from that a script does not have is refused by name (NotSupported).
#ifndef DUD_CLI_SCRIPT_PARSER_H_
#define DUD_CLI_SCRIPT_PARSER_H_

#include <span>
#include <string_view>

#include "automation/platform.h"
#include "cli/script/ast.h"
#include "cli/script/words.h"  // IsReservedWord and FunctionNames, for the parser's users

namespace dudUdudADOD::cli {

inline constexpr int kMaxNesting = 64;

// The most tree a script may make, counted as the bytes of its statements,
// declarators, values and names, and its string literals as the model will
// hold them (two bytes a character): whatever the script's shape, the run
// stays within about 64 MiB (the 16 MiB script, this tree, and the room its
// lists take while they grow).
inline constexpr size_t kMaxTreeBytes = size_t{16} << 20;

// `platform` is the process the script runs in: LongPtr is a Long on
// win32 and a LongLong on win64, and LongLong, CLngLng and the ^ suffix
// exist only on win64 (a ScriptError on win32).
Script ParseScript(std::string_view source,
                   automation::Platform platform = automation::Platform::kWin32);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_PARSER_H_
