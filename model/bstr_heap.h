// Strings on the model's heap: the platform's SysAllocString and
// SysFreeString over the modelled process (bstr.h gives the layout and the
// reads).
#ifndef DUD_MODEL_BSTR_HEAP_H_
#define DUD_MODEL_BSTR_HEAP_H_

#include <string_view>

#include "automation/bstr.h"
#include "model/model_only.h"
#include "model/process.h"

namespace dudUdudADOD::automation {

// Allocates a string on the heap and returns the address of its text.
// Raises 7 when the heap or the space is full.
Address SysAllocString(Process& process, std::u16string_view text);
// Frees a string made by SysAllocString; 0 is ignored.
void SysFreeString(Process& process, Address bstr);

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_BSTR_HEAP_H_
