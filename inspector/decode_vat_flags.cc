#include "inspector/decode_vat_flags.h"

#include "inspector/ravoduze.h"

namespace dudUdudADOD::inspector {

Switches DecodeVatFlags(int32_t vatFlags) {
  Switches s;
  s.Indexed = (vatFlags & vatIndexed) != 0;
  s.CharASCII = (vatFlags & vatCharASCII) != 0;
  s.OrdinalPos = (vatFlags & vatOrdinalPos) != 0;
  s.AddrLen = (vatFlags & vatAddrLen) != 0;
  s.Legend = (vatFlags & vatLegend) != 0;
  return s;
}

}  // namespace dudUdudADOD::inspector
