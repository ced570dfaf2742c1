// An address as the client's outputs write it beside the report: in hex at
// the platform's pointer width ("0x0012F790"; 16 digits for a 64-bit
// process), and in both forms, decimal first ("1243024 (0x0012F790)"), the
// decimal being what the report's own text shows.
#ifndef DUD_CLI_OUTPUT_ADDRESS_TEXT_H_
#define DUD_CLI_OUTPUT_ADDRESS_TEXT_H_

#include <cstdint>
#include <string>

namespace dudUdudADOD::cli {

std::string HexAddress(uint64_t address, uint32_t pointer_size);

std::string AddressText(uint64_t address, uint32_t pointer_size);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_OUTPUT_ADDRESS_TEXT_H_
