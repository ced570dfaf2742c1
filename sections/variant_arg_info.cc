#include "sections/variant_arg_info.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "automation/checked_math.h"
#include "automation/data_size.h"
#include "automation/variant.h"
#include "sections/memory_bytes.h"
#include "sections/table_grid.h"

namespace dudUdudADOD::sections {

namespace {

using automation::AddLong;
using automation::Address;
using automation::ClientProcess;

// The data field is 8 bytes long; a dump of a value held in the variant never
// reads past it, even when the value's data size is larger (a string of more
// than four characters, a Byte array of more than eight elements). LenB still
// shows the full data size; the Bytes column shows the data field only.
constexpr int32_t kDataFieldBytes = 8;

Address At(int32_t address) { return static_cast<Address>(address); }

// Line 7 when the variant refers to its value: the address it holds.
void PutPointerRow(TableGrid& grid, ClientProcess& process, int32_t data_field) {
  grid.Put(kLenBColumn, u"4");
  grid.PutNumber(kValueColumn, automation::ReadInt32(process.memory(), At(data_field)));
  grid.Put(kVariableColumn, u"Pointer");
  grid.PutNumber(kAddressColumn, data_field);
  grid.Put(kTypeColumn, u"Union");
  grid.Put(kBytesColumn, MemoryBytes(process, data_field, 4), true);
}

// Line 7 when the value is held in the variant itself. The size, the text and
// the dump come in this order, so that a value without a text form (Null: 94,
// an array other than of Byte: 13) fails in the conversion before a data size
// of 0 fails in the dump (9).
void PutHeldValueRow(TableGrid& grid, ClientProcess& process, Address var, int32_t data_field) {
  const int32_t size = automation::DataSize(process, var);
  grid.PutNumber(kLenBColumn, size);
  grid.Put(kValueColumn, process.Text(automation::LoadVariant(process.memory(), var)));
  grid.Put(kVariableColumn, u"Value");
  grid.PutNumber(kAddressColumn, data_field);
  grid.Put(kTypeColumn, u"Union");
  grid.Put(kBytesColumn, MemoryBytes(process, data_field, std::min(size, kDataFieldBytes)), true);
}

}  // namespace

std::u16string VariantArgInfo(ClientProcess& process, Address var, int32_t& argAddress) {
  const automation::Memory& memory = process.memory();
  const auto a = static_cast<int32_t>(var);
  argAddress = a;
  // Four bytes: the type code and, above it, the first reserved word.
  const int32_t type_word = automation::ReadInt32(memory, var);
  std::array<int16_t, 3> reserved{};
  for (int32_t k = 0; k < 3; ++k) {
    reserved[static_cast<size_t>(k)] = automation::ReadInt16(memory, At(AddLong(a, 2 * (k + 1))));
  }

  // A line of 128 spaces and two empty lines.
  TableGrid grid(PrefilledText(128, 1, 1));
  grid.Put(kEntryColumn, u"/// VARIANT_ARG STRUCTURE ///", true);
  PutHeadings(grid, kFieldHeadings);
  PutFieldRow(grid, process, {a, u"vbType", a, 2, type_word});
  for (int32_t k = 0; k < 3; ++k) {
    PutFieldRow(
        grid, process,
        {std::nullopt, u"Reserved", AddLong(a, 2 * (k + 1)), 2, reserved[static_cast<size_t>(k)]});
  }
  const int32_t data_field = AddLong(a, 8);
  if ((type_word & automation::kByRef) != 0) {
    PutPointerRow(grid, process, data_field);
  } else {
    PutHeldValueRow(grid, process, var, data_field);
  }
  return std::move(grid).Take();
}

}  // namespace dudUdudADOD::sections
