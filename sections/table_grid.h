// TableGrid: the fixed-column layout that the three table sections share
// (variant argument, variable definition, array descriptor).
//
// Each of those sections starts from a text pre-filled with spaces, keeps a
// current line, and places every label and value at one of seven fixed
// character columns with PutText in overwrite mode. A value wider than its
// column is cut by the next column's text, written after it; nothing is ever
// trimmed, so trailing spaces of the pre-filled lines stay in the result.
//
// This header gathers what would otherwise be written three times: the
// column positions, the pre-filled text, the heading row, number placement,
// and the "field row" (name, address, type, width, value and raw bytes of one
// field of a memory record), which the variant argument and descriptor
// sections both print.
#ifndef DUD_SECTIONS_TABLE_GRID_H_
#define DUD_SECTIONS_TABLE_GRID_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "automation/client_process.h"
#include "layout/put_text.h"

namespace dudUdudADOD::sections {

// The seven 1-based character columns of every table, left to right. The
// names are those of the variant argument and descriptor tables; the
// variable table uses the same positions under its own headings.
inline constexpr int32_t kEntryColumn = 1;
inline constexpr int32_t kVariableColumn = 16;
inline constexpr int32_t kAddressColumn = 32;
inline constexpr int32_t kTypeColumn = 48;
inline constexpr int32_t kLenBColumn = 64;
inline constexpr int32_t kValueColumn = 72;
inline constexpr int32_t kBytesColumn = 88;
inline constexpr std::array<int32_t, 7> kTableColumns = {
    kEntryColumn, kVariableColumn, kAddressColumn, kTypeColumn,
    kLenBColumn,  kValueColumn,    kBytesColumn};

// The blank page a section starts from: `spaced_lines` lines of `width`
// spaces, each followed by CR LF, then `extra_breaks` more CR LF. The text
// after the last CR LF is one more (empty) line: (128, 1, 2) is a line of 128
// spaces and three empty lines.
std::u16string PrefilledText(int32_t width, int32_t spaced_lines, int32_t extra_breaks);

// A section's text under construction and its current line (1 at the start).
// Every write overwrites; `advance` moves the current line down by one after
// the write, as PutText does.
class TableGrid {
 public:
  explicit TableGrid(std::u16string prefilled) : buffer_(std::move(prefilled)) {}

  // Places `text` at `column` of the current line.
  void Put(int32_t column, std::u16string_view text, bool advance = false);
  // Places a whole number in signed decimal ("-" before a negative value).
  void PutNumber(int32_t column, int64_t value, bool advance = false);
  // Places `text` at a line named by the caller; the current line stays.
  void PutAt(int32_t line, int32_t column, std::u16string_view text);
  void PutNumberAt(int32_t line, int32_t column, int64_t value);
  // Moves the current line down by one without writing.
  void SkipLine();

  std::u16string Take() && { return std::move(buffer_); }

 private:
  std::u16string buffer_;
  int32_t line_ = 1;
  layout::LineHint hint_;
};

// The headings of the variant argument and descriptor tables.
inline constexpr std::array<std::u16string_view, 7> kFieldHeadings = {
    u"Entry", u"Variable", u"Address", u"Type", u"LenB", u"Value", u"Bytes"};

// Writes the headings left to right at the first headings.size() columns and
// then moves to the next line.
void PutHeadings(TableGrid& grid, std::span<const std::u16string_view> headings);

// One field of a record in memory, shown as a table row: Entry (first row
// only), name, address, type ("Integer" for 2 bytes, "Long" for 4,
// "LongLong" for 8), width as LenB, value, and the field's raw bytes (a dump
// of `width` bytes at `address`). The row ends by moving to the next line.
// Addresses are as the report shows them (platform.h).
struct FieldRow {
  std::optional<int64_t> entry;  // written only when present
  std::u16string_view name;
  int64_t address = 0;
  int32_t width = 0;  // 2, 4 or 8
  int64_t value = 0;
};
void PutFieldRow(TableGrid& grid, automation::ClientProcess& process, const FieldRow& row);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_TABLE_GRID_H_
