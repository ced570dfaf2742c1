// Values of number and date literals, typed the way a BASIC-family compiler
// types them.
//
// Used by the parser. Decimal whole numbers are Integer when they fit 16
// bits, Long when they fit 32, Double otherwise; a fraction or an exponent
// makes a Double. Hex (&H1F or 0x1F) and octal (&O17) numbers are Integer up to &HFFFF (as a 16-bit
// pattern, so &HFFFF is -1) and Long up to &HFFFFFFFF. A suffix fixes the
// type: % Integer, & Long, ^ LongLong (hex and octal up to 64 bits), !
// Single, # Double, @ Currency (exact to the fourth decimal, halves to even).
// Whether the platform has LongLong is the parser's to check. A literal that does not fit its type
// raises ScriptError at the literal.
#ifndef DUD_CLI_SCRIPT_LITERALS_H_
#define DUD_CLI_SCRIPT_LITERALS_H_

#include <string_view>

#include "automation/variant.h"
#include "cli/script/lexer.h"

namespace dudUdudADOD::cli {

// A number token's value; `negative` applies a minus sign that stood before
// it, so that -32768 is an Integer. Hex and octal literals take no sign here.
automation::VariantImage NumberLiteral(const Token& token, bool negative);

// True for a hex or octal number's text: &H1F, &O17 or 0x1F.
inline bool IsRadixNumber(std::string_view text) {
  return text.size() > 1 && (text[0] == '&' || (text[0] == '0' && (text[1] | 0x20) == 'x'));
}

// A date token's value: "#1/2/2000 3:04:05 AM#".
automation::VariantImage DateLiteral(const Token& token);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_SCRIPT_LITERALS_H_
