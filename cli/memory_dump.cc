#include "cli/memory_dump.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace dudUdudADOD::cli {

namespace {

constexpr uint32_t kRow = 16;

std::optional<uint8_t> ByteAt(const automation::AddressSpace& memory, uint64_t address) {
  if (address > UINT32_MAX || !memory.IsMapped(static_cast<automation::Address>(address), 1)) {
    return std::nullopt;
  }
  uint8_t byte = 0;
  memory.Read(static_cast<automation::Address>(address), &byte, 1);
  return byte;
}

std::string Row(const automation::AddressSpace& memory, uint64_t start, uint64_t end) {
  char cell[48];  // 20 digits, 16 hex digits and the spaces
  std::snprintf(cell, sizeof cell, "%10llu  %08llX ", static_cast<unsigned long long>(start),
                static_cast<unsigned long long>(start));
  std::string hex = cell, decimal = " ", chars = "  |";
  for (uint64_t address = start; address < start + kRow; ++address) {
    const std::optional<uint8_t> byte =
        address < end ? ByteAt(memory, address) : std::optional<uint8_t>();
    if (address == start + kRow / 2) hex += ' ';
    if (byte) {
      std::snprintf(cell, sizeof cell, " %02X", *byte);
      hex += cell;
      std::snprintf(cell, sizeof cell, " %3u", *byte);
      decimal += cell;
      chars += *byte >= 0x20 && *byte < 0x7F ? static_cast<char>(*byte) : '.';
    } else {
      hex += address < end ? " --" : "   ";
      decimal += address < end ? "   -" : "    ";
      chars += ' ';
    }
  }
  std::string row = hex + " " + decimal + chars + "|";
  return row + "\n";
}

}  // namespace

std::string MemoryDump(const automation::AddressSpace& memory, MemoryRange range) {
  const uint64_t end =
      std::min<uint64_t>(uint64_t{range.address} + range.count, uint64_t{UINT32_MAX} + 1);
  std::string text = "   address  in hex    bytes in hex" + std::string(38, ' ') +
                     "the same bytes in decimal" + std::string(41, ' ') + "characters\n";
  for (uint64_t start = range.address; start < end; start += kRow) text += Row(memory, start, end);
  return text;
}

}  // namespace dudUdudADOD::cli
