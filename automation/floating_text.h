// Double and Single values as text, and the decimal separator of another
// locale.
//
// Double and Single ("P" significant digits: 15 for Double, 7 for Single):
//   The value is rounded to P significant digits; X is the decimal exponent
//   of the rounded value (1234.5 has X = 3). When -4 <= X < P the fixed form
//   is used, otherwise the exponent form. Trailing zeros of the fraction and
//   a trailing "." are dropped; a value below 1 keeps its "0" ("0.5"). The
//   exponent form is mantissa, "E", sign, at least two digits: "1E+20",
//   "1E-10", "1.5E-07", "1.23456789012346E+15". Fixed: "100000", "0.0001",
//   "123456789012345". Negative zero prints "0". NaN and the infinities,
//   which the platform never makes but raw bytes can hold, print "NaN",
//   "Inf" and "-Inf".
#ifndef DUD_AUTOMATION_FLOATING_TEXT_H_
#define DUD_AUTOMATION_FLOATING_TEXT_H_

#include <cstddef>
#include <string>

namespace dudUdudADOD::automation {

void AppendDouble(std::u16string& out, double value);  // 15 significant digits
void AppendSingle(std::u16string& out, float value);   // 7 significant digits

// Puts `separator` for every point written into out[from..]: the point the
// formatters above write, as the platform's texts show it in another locale.
void UseDecimalSeparator(std::u16string& out, size_t from, char16_t separator);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_FLOATING_TEXT_H_
