// VariantHolder: a VARIANT of the component's own, cleared when its scope
// ends on every path, an exception's included.
#ifndef DUD_WINDOWS_VARIANT_HOLDER_H_
#define DUD_WINDOWS_VARIANT_HOLDER_H_

#include "windows/win32.h"

namespace dudUdudADOD::windows {

struct VariantHolder {
  VARIANT v;
  VariantHolder() { VariantInit(&v); }
  ~VariantHolder() { VariantClear(&v); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
};

}  // namespace dudUdudADOD::windows

#endif  // DUD_WINDOWS_VARIANT_HOLDER_H_
