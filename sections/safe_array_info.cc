#include "sections/safe_array_info.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "automation/checked_math.h"
#include "automation/runtime_error.h"
#include "automation/safe_array.h"
#include "sections/table_grid.h"

namespace dudUdudADOD::sections {

namespace {

using automation::AddAddress;
using automation::AddLong;
using automation::Address;
using automation::ClientProcess;
using automation::Layout;

constexpr std::array<std::u16string_view, 5> kBoundHeadings = {u"Entry", u"Bound", u"cElements",
                                                               u"lBound", u"uBound"};

// The line of the first bound row: the bounds headings stand on line 9.
constexpr int32_t kFirstBoundLine = 10;
// The bounds table's columns, at the shared positions.
constexpr int32_t kBoundColumn = kTableColumns[1];
constexpr int32_t kCountColumn = kTableColumns[2];
constexpr int32_t kLowerColumn = kTableColumns[3];
constexpr int32_t kUpperColumn = kTableColumns[4];

// The field at `address`, read with its width (2, 4 or 8 bytes) and sign.
int64_t ReadField(const automation::Memory& memory, int64_t address, int32_t width) {
  const Address at = ToAddress(memory.layout(), address);
  if (width == 2) return automation::ReadInt16(memory, at);
  if (width == 4) return automation::ReadInt32(memory, at);
  return static_cast<int64_t>(automation::ReadUInt64(memory, at));
}

struct HeadField {
  std::u16string_view name;
  int32_t offset;
  int32_t width;
};

// The record's head, in the order and under the names the table shows.
// pvData is a pointer: at 12 on 32-bit, at 16 on 64-bit after 4 bytes of
// padding, which are no field and get no row.
std::array<HeadField, 5> HeadFields(const Layout& layout) {
  return {{
      {u".cDims", 0, 2},
      {u".fFeaures", 2, 2},
      {u".cbArrElemSize", 4, 4},
      {u".cLock", 8, 4},
      {u".pvData", static_cast<int32_t>(layout.pv_data_offset),
       static_cast<int32_t>(layout.pointer_size)},
  }};
}

// lLbound + cElements - 1, exact: an upper bound at either end of the Long
// range exists and prints (2147483645 To 2147483647, or -2147483648 alone);
// only one past the range, which no dimension can have, overflows.
int32_t UpperBound(int32_t l_lbound, int32_t c_elements) {
  const int64_t upper = int64_t{l_lbound} + c_elements - 1;
  if (upper < INT32_MIN || upper > INT32_MAX) automation::Raise(automation::kOverflow);
  return static_cast<int32_t>(upper);
}

// Bound i of the record on line 10 + i; the row of bound 0 also carries the
// address of the first element in its Entry column.
void PutBoundRow(TableGrid& grid, const automation::Memory& memory, int64_t d, int32_t i,
                 int64_t pv_data) {
  // The record holds 60 bounds. A record claiming more dimensions gets its
  // rows for bounds 0 to 59 and then the subscript error at bound 60, before
  // anything past the record is read; the error ends the call, so those rows
  // are never seen.
  if (i >= automation::kMaxDims) automation::Raise(automation::kSubscriptOutOfRange);
  const Layout& layout = memory.layout();
  const int64_t bound =
      AddAddress(layout, d, AddLong(static_cast<int32_t>(layout.descriptor_head), 8 * i));
  const auto c_elements = static_cast<int32_t>(ReadField(memory, bound, 4));
  const auto l_lbound = static_cast<int32_t>(ReadField(memory, AddAddress(layout, bound, 4), 4));
  const int32_t line = AddLong(kFirstBoundLine, i);
  if (i == 0) grid.PutNumberAt(line, kEntryColumn, pv_data);
  grid.PutNumberAt(line, kBoundColumn, i);
  grid.PutNumberAt(line, kCountColumn, c_elements);
  grid.PutNumberAt(line, kLowerColumn, l_lbound);
  grid.PutNumberAt(line, kUpperColumn, UpperBound(l_lbound, c_elements));
}

}  // namespace

std::u16string SafeArrayInfo(ClientProcess& process, Address desc, bool withBounds) {
  const automation::Memory& memory = process.memory();
  const Layout& layout = memory.layout();
  const int64_t d = automation::SignedAddress(layout, desc);

  // Ten lines of 72 spaces, each ended by CR LF: an empty eleventh line follows.
  TableGrid grid(PrefilledText(72, 10, 0));
  grid.Put(kEntryColumn, u"/// SAFEARRAY STRUCTURE ///", true);
  PutHeadings(grid, kFieldHeadings);
  for (const HeadField& field : HeadFields(layout)) {
    const int64_t address = AddAddress(layout, d, field.offset);
    const std::optional<int64_t> entry =
        field.offset == 0 ? std::optional<int64_t>(d) : std::nullopt;
    PutFieldRow(grid, process,
                {entry, field.name, address, field.width, ReadField(memory, address, field.width)});
  }
  grid.SkipLine();  // line 8 stays blank
  if (!withBounds) return std::move(grid).Take();

  PutHeadings(grid, kBoundHeadings);
  const auto c_dims = static_cast<int32_t>(ReadField(memory, d, 2));
  const int64_t pv_data = ReadField(memory, AddAddress(layout, d, layout.pv_data_offset),
                                    static_cast<int32_t>(layout.pointer_size));
  for (int32_t i = 0; i < c_dims; ++i) PutBoundRow(grid, memory, d, i, pv_data);
  return std::move(grid).Take();
}

}  // namespace dudUdudADOD::sections
