// DecodeVatFlags: the five print switches of the values section, one bit of
// vatFlags each. Bit 1 (vatStdSep) is not looked at: the separator is the
// caller's sep, whatever that bit says.
#ifndef DUD_INSPECTOR_DECODE_VAT_FLAGS_H_
#define DUD_INSPECTOR_DECODE_VAT_FLAGS_H_

#include <cstdint>

#include "sections/values_info.h"

namespace dudUdudADOD::inspector {

using Switches = sections::Switches;

Switches DecodeVatFlags(int32_t vatFlags);

}  // namespace dudUdudADOD::inspector

#endif  // DUD_INSPECTOR_DECODE_VAT_FLAGS_H_
