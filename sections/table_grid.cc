#include "sections/table_grid.h"

#include <cstddef>

#include "automation/checked_math.h"
#include "automation/text_forms.h"
#include "layout/put_text.h"
#include "sections/memory_bytes.h"

namespace dudUdudADOD::sections {

std::u16string PrefilledText(int32_t width, int32_t spaced_lines, int32_t extra_breaks) {
  const auto w = static_cast<size_t>(width);
  std::u16string text;
  text.reserve(static_cast<size_t>(spaced_lines) * (w + 2) + static_cast<size_t>(extra_breaks) * 2);
  for (int32_t i = 0; i < spaced_lines; ++i) {
    text.append(w, u' ');
    text.append(u"\r\n");
  }
  for (int32_t i = 0; i < extra_breaks; ++i) text.append(u"\r\n");
  return text;
}

void TableGrid::Put(int32_t column, std::u16string_view text, bool advance) {
  layout::PutText(buffer_, text, line_, column, true, advance, &hint_);
}

void TableGrid::PutNumber(int32_t column, int64_t value, bool advance) {
  std::u16string digits;
  automation::AppendInteger(digits, value);
  Put(column, digits, advance);
}

void TableGrid::PutAt(int32_t line, int32_t column, std::u16string_view text) {
  layout::PutText(buffer_, text, line, column, true, false, &hint_);
}

void TableGrid::PutNumberAt(int32_t line, int32_t column, int64_t value) {
  std::u16string digits;
  automation::AppendInteger(digits, value);
  PutAt(line, column, digits);
}

void TableGrid::SkipLine() { line_ = automation::AddLong(line_, 1); }

void PutHeadings(TableGrid& grid, std::span<const std::u16string_view> headings) {
  for (size_t i = 0; i < headings.size(); ++i) {
    grid.Put(kTableColumns[i], headings[i], i + 1 == headings.size());
  }
}

void PutFieldRow(TableGrid& grid, automation::ClientProcess& process, const FieldRow& row) {
  if (row.entry) grid.PutNumber(kEntryColumn, *row.entry);
  grid.Put(kVariableColumn, row.name);
  grid.PutNumber(kAddressColumn, row.address);
  // The platform's type names of a 16-, 32- and 64-bit integer field.
  grid.Put(kTypeColumn, row.width == 2 ? u"Integer" : row.width == 4 ? u"Long" : u"LongLong");
  grid.PutNumber(kLenBColumn, row.width);
  grid.PutNumber(kValueColumn, row.value);
  grid.Put(kBytesColumn, MemoryBytes(process, row.address, row.width), true);
}

}  // namespace dudUdudADOD::sections
