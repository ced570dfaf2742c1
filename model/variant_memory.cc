#include "model/variant_memory.h"

#include "automation/bstr.h"
#include "model/bstr_heap.h"
#include "model/safe_array_heap.h"

namespace dudUdudADOD::automation {

void VariantClear(Process& process, VariantImage& v) {
  const uint16_t vt = v.vt();
  if ((vt & kByRef) == 0) {
    if (vt == vbString) {
      SysFreeString(process, v.pointer());
    } else if ((vt & vbArray) != 0) {
      SafeArrayDestroy(process, v.pointer());
    }
  }
  v = VariantImage::Empty();
}

VariantImage VariantCopy(Process& process, const VariantImage& v) {
  const uint16_t vt = v.vt();
  if ((vt & kByRef) != 0) return v;
  if (vt == vbString && v.pointer() != 0) {
    return VariantImage::String(SysAllocString(process, ReadString(process.memory(), v.pointer())));
  }
  if ((vt & vbArray) != 0) {
    return VariantImage::WithPointer(vt, SafeArrayCopy(process, v.pointer()));
  }
  return v;
}

void StoreVariant(AddressSpace& memory, Address address, const VariantImage& v) {
  memory.Write(address, v.bytes().data(), memory.layout().variant_size);
}

}  // namespace dudUdudADOD::automation
