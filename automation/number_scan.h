// Numbers read from text, as CDbl and CDec read them: one grammar, into a
// Double or exactly into a Decimal.
#ifndef DUD_AUTOMATION_NUMBER_SCAN_H_
#define DUD_AUTOMATION_NUMBER_SCAN_H_

#include <optional>
#include <string_view>

#include "automation/variant.h"

namespace dudUdudADOD::automation {

// Parses a number as CDbl parses text: surrounding spaces, optional sign,
// digits with at most one ".", an optional exponent ("E" or "e", optional
// sign, digits); or "&H" followed by hex digits, "&O" by octal digits, read
// as a 32-bit Long ("&HFFFFFFFF" is -1). nullopt for anything else. Raises 6
// for a number beyond Double's range or an "&H"/"&O" value beyond 32 bits; a
// number too small for Double reads as 0.
std::optional<double> ParseNumber(std::u16string_view text);

// The same grammar read exactly into a Decimal: at most 28 digits after the
// point and at most 29 digits in all (what 96 bits hold), rounded half to
// even beyond that. Raises 6 when the integer part does not fit.
std::optional<Decimal> ParseDecimal(std::u16string_view text);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_NUMBER_SCAN_H_
