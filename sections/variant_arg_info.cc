#include "sections/variant_arg_info.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "automation/data_size.h"
#include "automation/variant.h"
#include "sections/memory_bytes.h"
#include "sections/table_grid.h"

namespace dudUdudADOD::sections {

namespace {

using automation::AddAddress;
using automation::Address;
using automation::ClientProcess;
using automation::Layout;

// Line 7 when the variant refers to its value: the address it holds, a
// pointer of the platform's width.
void PutPointerRow(TableGrid& grid, ClientProcess& process, int64_t data_field) {
  const Layout& layout = process.memory().layout();
  const auto width = static_cast<int32_t>(layout.pointer_size);
  grid.PutNumber(kLenBColumn, width);
  const Address pointer = automation::ReadPointer(process.memory(), ToAddress(layout, data_field));
  grid.PutNumber(kValueColumn, automation::SignedAddress(layout, pointer));
  grid.Put(kVariableColumn, u"Pointer");
  grid.PutNumber(kAddressColumn, data_field);
  grid.Put(kTypeColumn, u"Union");
  grid.Put(kBytesColumn, MemoryBytes(process, data_field, width), true);
}

// Line 7 when the value is held in the variant itself. The size, the text and
// the dump come in this order, so that a value without a text form (Null: 94,
// an array other than of Byte: 13) fails in the conversion before a data size
// of 0 fails in the dump (9).
//
// A dump never reads past the data field (8 bytes, 16 on 64-bit), even when
// the value's data size is larger (a long string, a Byte array of more
// elements): LenB still shows the full data size, the Bytes column the data
// field only.
void PutHeldValueRow(TableGrid& grid, ClientProcess& process, Address var, int64_t data_field) {
  const int32_t size = automation::DataSize(process, var);
  grid.PutNumber(kLenBColumn, size);
  grid.Put(kValueColumn, process.Text(automation::LoadVariant(process.memory(), var)));
  grid.Put(kVariableColumn, u"Value");
  grid.PutNumber(kAddressColumn, data_field);
  grid.Put(kTypeColumn, u"Union");
  const auto field = static_cast<int32_t>(process.memory().layout().data_field_size);
  grid.Put(kBytesColumn, MemoryBytes(process, data_field, std::min(size, field)), true);
}

}  // namespace

std::u16string VariantArgInfo(ClientProcess& process, Address var, int64_t& argAddress) {
  const automation::Memory& memory = process.memory();
  const Layout& layout = memory.layout();
  const int64_t a = automation::SignedAddress(layout, var);
  argAddress = a;
  // Four bytes: the type code and, above it, the first reserved word.
  const int32_t type_word = automation::ReadInt32(memory, var);
  std::array<int16_t, 3> reserved{};
  for (int32_t k = 0; k < 3; ++k) {
    reserved[static_cast<size_t>(k)] =
        automation::ReadInt16(memory, ToAddress(layout, AddAddress(layout, a, 2 * (k + 1))));
  }

  // A line of 128 spaces and two empty lines.
  TableGrid grid(PrefilledText(128, 1, 1));
  grid.Put(kEntryColumn, u"/// VARIANT_ARG STRUCTURE ///", true);
  PutHeadings(grid, kFieldHeadings);
  PutFieldRow(grid, process, {a, u"vbType", a, 2, type_word});
  for (int32_t k = 0; k < 3; ++k) {
    PutFieldRow(grid, process,
                {std::nullopt, u"Reserved", AddAddress(layout, a, 2 * (k + 1)), 2,
                 reserved[static_cast<size_t>(k)]});
  }
  const int64_t data_field = AddAddress(layout, a, automation::kDataFieldOffset);
  if ((type_word & automation::kByRef) != 0) {
    PutPointerRow(grid, process, data_field);
  } else {
    PutHeldValueRow(grid, process, var, data_field);
  }
  return std::move(grid).Take();
}

}  // namespace dudUdudADOD::sections
