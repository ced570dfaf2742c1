#include "model/client.h"

#include <algorithm>
#include <vector>

#include "automation/bstr.h"
#include "automation/conversions.h"
#include "automation/runtime_error.h"
#include "model/bstr_heap.h"
#include "model/safe_array_heap.h"
#include "model/variant_conversions.h"
#include "model/variant_memory.h"

namespace dudUdudADOD::automation {

namespace {

// Room the client's call leaves between its locals and the argument variant
// (saved registers and the return address, in a real frame; on 64-bit the
// callee's home space too). It puts the argument variant of a first local at
// 1242980 on 32-bit.
uint32_t CallGap(const Layout& layout) { return layout.pointer_size == 4 ? 28 : 48; }

bool IsArray(const Variable& v) {
  return v.kind == VariableKind::kFixedArray || v.kind == VariableKind::kDynamicArray;
}

}  // namespace

Address Client::Place(uint32_t size, std::optional<Address> at) {
  if (!at) return process_.stack().Push(size);
  if (process_.stack().InReserve(*at, size)) {
    process_.stack().Place(*at, size);
  } else {
    process_.memory().Map(*at, size);  // raises 5 when the range is in use
  }
  return *at;
}

Variable Client::Dim(uint16_t type, std::optional<Address> at) {
  const uint32_t size = StorageSize(type, process_.memory().layout());
  if (size == 0 || type == vbDecimal) Raise(kTypeMismatch);
  return Variable{type == vbVariant ? VariableKind::kVariant : VariableKind::kScalar, type,
                  Place(size, at)};
}

Variable Client::DimFixedString(uint32_t length, std::optional<Address> at) {
  if (length == 0 || length > 65535) Raise(kInvalidArgument);
  Variable text{VariableKind::kFixedString, vbString, Place(2 * length, at), length};
  // A placed variable may lie on memory used before: it starts all zeros.
  const std::u16string zeros(length, u'\0');
  process_.memory().Write(text.address, zeros.data(), 2 * length);
  return text;
}

Variable Client::DimArray(uint16_t element_type, std::span<const DeclaredBound> bounds,
                          std::optional<Address> at) {
  const Address descriptor = SafeArrayCreate(process_, element_type, bounds);
  Variable array{VariableKind::kFixedArray, element_type, 0};
  try {
    array.address = Place(process_.memory().layout().pointer_size, at);
  } catch (...) {
    SafeArrayDestroy(process_, descriptor);
    throw;
  }
  WritePointer(process_.memory(), array.address, descriptor);
  return array;
}

Variable Client::DimDynamicArray(uint16_t element_type, std::optional<Address> at) {
  return Variable{VariableKind::kDynamicArray, element_type,
                  Place(process_.memory().layout().pointer_size, at)};
}

void Client::Assign(const Variable& variable, const VariantImage& value) {
  AddressSpace& memory = process_.memory();
  switch (variable.kind) {
    case VariableKind::kVariant: {
      VariantImage copy = VariantCopy(process_, Dereference(memory, value));
      VariantImage old = LoadVariant(memory, variable.address);
      VariantClear(process_, old);
      StoreVariant(memory, variable.address, copy);
      return;
    }
    case VariableKind::kScalar: {
      VariantImage converted = ChangeType(process_, value, variable.type);
      if (variable.type == vbString) SysFreeString(process_, ReadPointer(memory, variable.address));
      memory.Write(variable.address, converted.data_field(),
                   StorageSize(variable.type, memory.layout()));
      return;
    }
    case VariableKind::kDynamicArray: {
      const VariantImage source = Dereference(memory, value);
      if (source.vt() != (vbArray | variable.type)) Raise(kTypeMismatch);
      const Address copy = SafeArrayCopy(process_, source.pointer());
      SafeArrayDestroy(process_, ReadPointer(memory, variable.address));
      WritePointer(memory, variable.address, copy);
      return;
    }
    case VariableKind::kFixedString: {
      std::u16string text = ToFixedText(value);
      text.resize(variable.length, u' ');
      memory.Write(variable.address, text.data(), 2 * variable.length);
      return;
    }
    case VariableKind::kFixedArray:
      Raise(kTypeMismatch);
  }
}

// A value's text, as a String variable would take it.
std::u16string Client::ToFixedText(const VariantImage& value) {
  VariantImage converted = ChangeType(process_, value, vbString);
  std::u16string text = ReadString(process_.memory(), converted.pointer());
  VariantClear(process_, converted);
  return text;
}

void Client::AssignElements(const Variable& array, std::span<const VariantImage> values) {
  if (!IsArray(array)) Raise(kTypeMismatch);
  AddressSpace& memory = process_.memory();
  const Address descriptor = ReadPointer(memory, array.address);
  if (descriptor == 0 && !values.empty()) Raise(kSubscriptOutOfRange);
  if (values.empty()) return;
  if (values.size() > SafeArrayElementCount(memory, descriptor)) Raise(kSubscriptOutOfRange);
  const uint32_t size = SafeArrayElementSize(memory, descriptor);
  const Address data = SafeArrayData(memory, descriptor);
  const uint16_t type = array.type;
  for (size_t i = 0; i < values.size(); ++i) {
    const Variable element{type == vbVariant ? VariableKind::kVariant : VariableKind::kScalar, type,
                           data + i * size};
    Assign(element, values[i]);
  }
}

void Client::ReDim(const Variable& array, std::span<const DeclaredBound> bounds) {
  if (array.kind != VariableKind::kDynamicArray) Raise(kTypeMismatch);
  const Address descriptor = SafeArrayCreate(process_, array.type, bounds);
  AddressSpace& memory = process_.memory();
  SafeArrayDestroy(process_, ReadPointer(memory, array.address));
  WritePointer(memory, array.address, descriptor);
}

void Client::ReDimPreserve(const Variable& array, std::span<const DeclaredBound> bounds) {
  if (array.kind != VariableKind::kDynamicArray) Raise(kTypeMismatch);
  AddressSpace& memory = process_.memory();
  const Address old = ReadPointer(memory, array.address);
  if (old == 0) return ReDim(array, bounds);
  const size_t dims = SafeArrayDims(memory, old);
  if (bounds.size() != dims) Raise(kSubscriptOutOfRange);
  for (size_t k = 0; k + 1 < dims; ++k) {
    const int dimension = static_cast<int>(k + 1);
    if (bounds[k].lower != LBound(memory, old, dimension) ||
        bounds[k].upper != UBound(memory, old, dimension)) {
      Raise(kSubscriptOutOfRange);
    }
  }
  const Address fresh = SafeArrayCreate(process_, array.type, bounds);
  const uint64_t kept =
      std::min(SafeArrayElementCount(memory, old), SafeArrayElementCount(memory, fresh)) *
      SafeArrayElementSize(memory, old);
  // The kept elements change owner: their strings and variants move with
  // their bytes, and the old array no longer holds them when it is freed.
  std::vector<uint8_t> moved(static_cast<size_t>(kept));
  const auto size = static_cast<uint32_t>(kept);
  if (size != 0) {
    memory.Read(SafeArrayData(memory, old), moved.data(), size);
    memory.Write(SafeArrayData(memory, fresh), moved.data(), size);
    std::fill(moved.begin(), moved.end(), uint8_t{0});
    memory.Write(SafeArrayData(memory, old), moved.data(), size);
  }
  SafeArrayDestroy(process_, old);
  WritePointer(memory, array.address, fresh);
}

void Client::Erase(const Variable& array) {
  AddressSpace& memory = process_.memory();
  const Address descriptor = ReadPointer(memory, array.address);
  if (array.kind == VariableKind::kDynamicArray) {
    SafeArrayDestroy(process_, descriptor);
    WritePointer(memory, array.address, 0);
    return;
  }
  if (array.kind != VariableKind::kFixedArray) Raise(kTypeMismatch);
  // A fixed array keeps its storage; its elements return to zero, Empty or "".
  SafeArrayClearElements(process_, descriptor);
}

VariantImage Client::Reference(const Variable& variable) const {
  switch (variable.kind) {
    case VariableKind::kVariant:
      return VariantImage::Reference(vbVariant, variable.address);
    case VariableKind::kScalar:
      return VariantImage::Reference(variable.type, variable.address);
    case VariableKind::kFixedString:
      Raise(kTypeMismatch);
    default:
      return VariantImage::Reference(static_cast<uint16_t>(vbArray | variable.type),
                                     variable.address);
  }
}

std::u16string Client::FixedStringText(const Variable& variable) const {
  std::u16string text(variable.length, u'\0');
  process_.memory().Read(variable.address, text.data(), 2 * variable.length);
  return text;
}

// The temporary lies in the caller's frame, above the call's gap, as the
// other locals do.
VariantImage Client::FixedStringTemporary(const Variable& variable) {
  AddressSpace& memory = process_.memory();
  const Address cell = process_.stack().Push(memory.layout().pointer_size);
  WritePointer(memory, cell, SysAllocString(process_, FixedStringText(variable)));
  return VariantImage::Reference(vbString, cell);
}

Address Client::Pass(const Variable& variable, std::optional<Address> at) {
  if (variable.kind == VariableKind::kVariant) {
    if (at && *at != variable.address) Raise(kInvalidArgument);
    return variable.address;
  }
  const VariantImage reference = variable.kind == VariableKind::kFixedString
                                     ? FixedStringTemporary(variable)
                                     : Reference(variable);
  const Layout& layout = process_.memory().layout();
  if (!at) process_.stack().Push(CallGap(layout));
  const Address arg = Place(layout.variant_size, at);
  StoreVariant(process_.memory(), arg, reference);
  return arg;
}

void Client::Withdraw(Address at) {
  if (process_.stack().InReserve(at, process_.memory().layout().variant_size)) {
    process_.stack().Unplace(at);
  } else {
    process_.memory().Unmap(at);
  }
}

Address Client::PassValue(const VariantImage& value, std::optional<Address> at) {
  const Layout& layout = process_.memory().layout();
  if (!at) process_.stack().Push(CallGap(layout));
  const Address arg = Place(layout.variant_size, at);
  StoreVariant(process_.memory(), arg, value);
  return arg;
}

}  // namespace dudUdudADOD::automation
