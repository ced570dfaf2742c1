#include "cli/program/memory_dump.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace dudUdudADOD::cli {

namespace {

constexpr uint32_t kRow = 16;

// The columns of the address: decimal and hex digits of the pointer's width.
struct AddressWidth {
  int decimal;
  int hex;
};

AddressWidth WidthOf(const automation::Layout& layout) {
  return layout.pointer_size == 4 ? AddressWidth{10, 8} : AddressWidth{20, 16};
}

std::optional<uint8_t> ByteAt(const automation::AddressSpace& memory, uint64_t address) {
  if (!memory.IsMapped(address, 1)) return std::nullopt;
  uint8_t byte = 0;
  memory.Read(address, &byte, 1);
  return byte;
}

// The row of 16 bytes from `start`, of which the first `shown` belong to the
// range.
std::string Row(const automation::AddressSpace& memory, uint64_t start, uint32_t shown) {
  const AddressWidth width = WidthOf(memory.layout());
  char cell[48];  // 20 digits, 16 hex digits and the spaces
  std::snprintf(cell, sizeof cell, "%*llu  %0*llX ", width.decimal,
                static_cast<unsigned long long>(start), width.hex,
                static_cast<unsigned long long>(start));
  std::string hex = cell, decimal = " ", chars = "  |";
  for (uint32_t i = 0; i < kRow; ++i) {
    const std::optional<uint8_t> byte = i < shown ? ByteAt(memory, start + i) : std::nullopt;
    if (i == kRow / 2) hex += ' ';
    if (byte) {
      std::snprintf(cell, sizeof cell, " %02X", *byte);
      hex += cell;
      std::snprintf(cell, sizeof cell, " %3u", *byte);
      decimal += cell;
      chars += *byte >= 0x20 && *byte < 0x7F ? static_cast<char>(*byte) : '.';
    } else {
      hex += i < shown ? " --" : "   ";
      decimal += i < shown ? "   -" : "    ";
      chars += ' ';
    }
  }
  std::string row = hex + " " + decimal + chars + "|";
  return row + "\n";
}

std::string Heading(const automation::Layout& layout) {
  const AddressWidth width = WidthOf(layout);
  std::string address = "address";
  address.insert(0, static_cast<size_t>(width.decimal) - address.size(), ' ');
  std::string in_hex = "in hex";
  in_hex.append(static_cast<size_t>(width.hex) - in_hex.size(), ' ');
  return address + "  " + in_hex + "  bytes in hex" + std::string(38, ' ') +
         "the same bytes in decimal" + std::string(41, ' ') + "characters\n";
}

}  // namespace

std::string MemoryDump(const automation::AddressSpace& memory, MemoryRange range) {
  const automation::Layout& layout = memory.layout();
  const uint64_t last = layout.pointer_size == 4 ? UINT32_MAX : UINT64_MAX;
  // The bytes before the top of the pointer's width, counted without passing it.
  const uint64_t room = last - std::min(range.address, last);
  const uint64_t count = std::min<uint64_t>(range.count, room + (room < last ? 1 : 0));
  std::string text = Heading(layout);
  for (uint64_t done = 0; done < count; done += kRow) {
    text += Row(memory, range.address + done,
                static_cast<uint32_t>(std::min<uint64_t>(kRow, count - done)));
  }
  return text;
}

}  // namespace dudUdudADOD::cli
