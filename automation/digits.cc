#include "automation/digits.h"

namespace dudUdudADOD::automation {

void AppendUnsigned(std::u16string& out, uint64_t v) {
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(CountDigits(v)));
  WriteDigitsBackwards(out.data() + out.size(), v);
}

}  // namespace dudUdudADOD::automation
