#include "sections/variable_info.h"

#include <array>
#include <string_view>

#include "automation/data_size.h"
#include "automation/variant.h"
#include "sections/memory_bytes.h"
#include "sections/table_grid.h"

namespace dudUdudADOD::sections {

namespace {

using automation::Address;
using automation::ClientProcess;

// This table's headings stand at the shared column positions.
constexpr int32_t kTypeNameColumn = kTableColumns[0];
constexpr int32_t kArrayColumn = kTableColumns[1];
constexpr int32_t kFarRefColumn = kTableColumns[3];

constexpr std::array<std::u16string_view, 7> kHeadings = {u"Type", u"Array", u"Address", u"FAR_REF",
                                                          u"LenB", u"Value", u"Bytes"};

// Type codes 8 to 15 (String, Object, Error, Boolean, Variant, DataObject,
// Decimal) have no value or byte text in this table.
constexpr uint16_t kStringLikeBit = 8;

std::u16string_view BooleanText(bool value) { return value ? u"True" : u"False"; }

// The value and its bytes for a value that is not an array; `data_bytes` is
// its data size.
void PutValueCells(TableGrid& grid, ClientProcess& process, Address var, uint16_t type,
                   int64_t variable, int32_t data_bytes) {
  if ((type & kStringLikeBit) != 0) {
    grid.Put(kValueColumn, u"***");
    grid.Put(kBytesColumn, u"***", true);
    // The byte text of such a value is empty; it is still placed, on the
    // next line, which pads that line to column 87.
    grid.Put(kBytesColumn, u"", true);
    return;
  }
  grid.Put(kValueColumn, process.Text(automation::LoadVariant(process.memory(), var)));
  grid.Put(kBytesColumn, MemoryBytes(process, variable, data_bytes), true);
}

}  // namespace

std::u16string VariableInfo(ClientProcess& process, Address var, int32_t& dataBytes) {
  const automation::Memory& memory = process.memory();
  const automation::Layout& layout = memory.layout();
  const int64_t a = automation::SignedAddress(layout, var);
  const auto type_word = static_cast<uint16_t>(automation::ReadInt16(memory, var));
  const bool by_ref = (type_word & automation::kByRef) != 0;
  const auto type = static_cast<uint16_t>(type_word & ~automation::kByRef);
  // The variable itself: behind the reference, or the variant when the
  // client passed a variant variable directly.
  const int64_t variable =
      by_ref
          ? automation::SignedAddress(
                layout,
                automation::ReadPointer(
                    memory, ToAddress(layout, AddAddress(layout, a, automation::kDataFieldOffset))))
          : a;

  // A line of 128 spaces and three empty lines.
  TableGrid grid(PrefilledText(128, 1, 2));
  grid.Put(kEntryColumn, u"/// VARIABLE ///", true);
  PutHeadings(grid, kHeadings);
  grid.Put(kTypeNameColumn, process.TypeName(automation::LoadVariant(memory, var)));
  const bool is_array = (type & automation::vbArray) != 0;
  grid.Put(kArrayColumn, BooleanText(is_array));
  grid.PutNumber(kAddressColumn, variable);
  grid.Put(kFarRefColumn, BooleanText(by_ref));

  if (is_array) {
    // The caller's total of data bytes; an array has no value text here.
    grid.PutNumber(kLenBColumn, dataBytes);
    grid.Put(kValueColumn, u"***");
    grid.Put(kBytesColumn, u"***", true);
    return std::move(grid).Take();
  }
  dataBytes = automation::DataSize(process, var);
  grid.PutNumber(kLenBColumn, dataBytes);
  PutValueCells(grid, process, var, type, variable, dataBytes);
  return std::move(grid).Take();
}

}  // namespace dudUdudADOD::sections
