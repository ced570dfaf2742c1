#include "automation/variant_memory.h"

#include <algorithm>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"

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

VariantImage Dereference(const Memory& memory, const VariantImage& v) {
  const uint16_t vt = v.vt();
  if ((vt & kByRef) == 0) return v;
  const auto type = static_cast<uint16_t>(vt & ~kByRef);
  const Address target = v.pointer();
  if (type == vbVariant) {
    const VariantImage inner = LoadVariant(memory, target);
    if (inner.vt() == (vbVariant | kByRef)) Raise(kTypeMismatch);
    return Dereference(memory, inner);
  }
  if ((type & vbArray) != 0) return VariantImage::WithPointer(type, ReadPointer(memory, target));
  VariantImage value = VariantImage::OfType(type);
  if (type == vbDecimal) {
    memory.Read(target, value.bytes().data(), kDecimalSize);
    value.set_vt(vbDecimal);
    return value;
  }
  const uint32_t size = std::min<uint32_t>(StorageSize(type, memory.layout()), 8);
  memory.Read(target, value.data_field(), size);
  value.set_pointer_size(memory.layout().pointer_size);
  return value;
}

}  // namespace dudUdudADOD::automation
