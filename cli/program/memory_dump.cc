#include "cli/program/memory_dump.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/output/address_text.h"

namespace dudUdudADOD::cli {

namespace {

constexpr uint32_t kRow = 16;

std::optional<uint8_t> ByteAt(const automation::AddressSpace& memory, uint64_t address) {
  if (!memory.IsMapped(address, 1)) return std::nullopt;
  uint8_t byte = 0;
  memory.Read(address, &byte, 1);
  return byte;
}

// The row of 16 bytes from `start`, of which the first `shown` belong to the
// range, its address right-aligned in `width` columns.
std::string Row(const automation::AddressSpace& memory, uint64_t start, uint32_t shown, int width) {
  char cell[32];  // 20 digits at most
  std::snprintf(cell, sizeof cell, "%*llu", width, static_cast<unsigned long long>(start));
  std::string hex = cell, chars = "  ";
  for (uint32_t i = 0; i < kRow; ++i) {
    const std::optional<uint8_t> byte = i < shown ? ByteAt(memory, start + i) : std::nullopt;
    if (i == kRow / 2) hex += ' ';
    if (byte) {
      std::snprintf(cell, sizeof cell, " %02X", *byte);
      hex += cell;
      chars += *byte >= 0x20 && *byte < 0x7F ? static_cast<char>(*byte) : '.';
    } else {
      hex += i < shown ? " --" : "   ";
      if (i < shown) chars += ' ';
    }
  }
  return hex + chars;
}

// The columns' numbers: the offset of each byte from the row's address.
std::string Heading(int width) {
  std::string heading = std::string(static_cast<size_t>(width) - 7, ' ') + "address";
  char cell[8];
  for (uint32_t i = 0; i < kRow; ++i) {
    if (i == kRow / 2) heading += ' ';
    std::snprintf(cell, sizeof cell, " %2u", i);
    heading += cell;
  }
  return heading + "  characters";
}

int Digits(uint64_t n) {
  int digits = 1;
  while (n >= 10) n /= 10, ++digits;
  return digits;
}

void AppendLine(std::string& text, std::string line, bool lf) {
  line.erase(line.find_last_not_of(' ') + 1);
  text += line + (lf ? "\n" : "\r\n");
}

}  // namespace

std::string MemoryDump(const automation::AddressSpace& memory, const Dump& dump, bool lf) {
  const automation::Layout& layout = memory.layout();
  const MemoryRange range = dump.range;
  const uint64_t last = layout.pointer_size == 4 ? UINT32_MAX : UINT64_MAX;
  // The bytes before the top of the pointer's width, counted without passing it.
  const uint64_t room = last - std::min(range.address, last);
  const uint64_t count = std::min<uint64_t>(range.count, room + (room < last ? 1 : 0));
  const uint64_t last_row = range.address + (count - 1) / kRow * kRow;
  // Ten columns hold every 32-bit address; a wider one widens them.
  const int width = std::max(10, Digits(last_row));
  std::string text;
  AppendLine(text,
             (dump.what.empty() ? "" : dump.what + ": ") + std::to_string(count) + " bytes at " +
                 AddressText(range.address, layout.pointer_size),
             lf);
  AppendLine(text, Heading(width), lf);
  for (uint64_t done = 0; done < count; done += kRow) {
    AppendLine(text,
               Row(memory, range.address + done,
                   static_cast<uint32_t>(std::min<uint64_t>(kRow, count - done)), width),
               lf);
  }
  return text;
}

}  // namespace dudUdudADOD::cli
