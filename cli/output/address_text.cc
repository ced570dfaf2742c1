#include "cli/output/address_text.h"

namespace dudUdudADOD::cli {

std::string HexAddress(uint64_t address, uint32_t pointer_size) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex = "0x";
  for (int k = static_cast<int>(2 * pointer_size) - 1; k >= 0; --k) {
    hex += kHex[(address >> (4 * k)) & 15];
  }
  return hex;
}

std::string AddressText(uint64_t address, uint32_t pointer_size) {
  return std::to_string(address) + " (" + HexAddress(address, pointer_size) + ")";
}

}  // namespace dudUdudADOD::cli
