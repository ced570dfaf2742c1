// The fixed-point types as text: Currency (a 64-bit count of ten-thousandths)
// and Decimal (a 96-bit magnitude scaled by 10^-scale), their rounding, and
// a Decimal made exactly from decimal digits.
//
// Currency: the integer part, then "." and up to 4 decimals without trailing
//   zeros ("1.5", "-0.0001", "922337203685477.5807").
// Decimal: all digits of the scaled value, no trailing zeros after the point,
//   "-" before a non-zero negative value ("-1.5", "0.0000000000000000000000000001").
#ifndef DUD_AUTOMATION_DECIMAL_TEXT_H_
#define DUD_AUTOMATION_DECIMAL_TEXT_H_

#include <cstdint>
#include <string>

#include "automation/variant.h"

namespace dudUdudADOD::automation {

void AppendCurrency(std::u16string& out, int64_t scaled);  // value x 10000

// Raises 5 for a scale above 28.
void AppendDecimal(std::u16string& out, const Decimal& value);

// Rounds to at most `scale` digits after the point, halves to even. A value
// that already has fewer keeps its own scale. Raises 5 for a value whose
// scale is above 28.
Decimal RoundDecimal(const Decimal& value, uint8_t scale);

// digits x 10^exponent into a Decimal (`digits` ASCII, no leading zeros):
// at most 28 digits after the point and at most what 96 bits hold, rounded
// half to even beyond that. Raises 6 when the whole part does not fit.
Decimal DecimalFromDigits(bool negative, std::string digits, int64_t exponent);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_DECIMAL_TEXT_H_
