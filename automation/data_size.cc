#include "automation/data_size.h"

#include "automation/checked_math.h"
#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "automation/variant.h"

namespace dudUdudADOD::automation {

int32_t DataSize(const ClientProcess& process, Address var) {
  const Memory& memory = process.memory();
  // Judged by the type code alone: a value is read only where its size
  // depends on it (a string's length, a Byte array's bounds).
  const VariantImage arg = LoadVariant(memory, var);
  switch (VarType(memory, arg)) {
    case vbInteger:
    case vbBoolean:
      return 2;
    case vbLong:
    case vbSingle:
    case vbError:
      return 4;
    case vbDouble:
    case vbCurrency:
    case vbDate:
      return 8;
    case vbByte:
      return 1;
    case vbSByte:
    case vbUShort:
    case vbUInteger:
    case vbLongLong:
    case vbULong:
    case vbInt:
    case vbUInt:
      return static_cast<int32_t>(StorageSize(VarType(memory, arg), memory.layout()));
    case vbString: {
      const uint32_t bytes = process.LenB(arg);
      if (bytes > INT32_MAX) Raise(kOverflow);
      return static_cast<int32_t>(bytes);
    }
    case vbArray | vbByte: {
      const Address descriptor = Dereference(memory, arg).pointer();
      return AddLong(SubLong(process.UBound(descriptor, 1), process.LBound(descriptor, 1)), 1);
    }
    default:
      return 0;
  }
}

}  // namespace dudUdudADOD::automation
