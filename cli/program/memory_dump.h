// MemoryDump: a run of the modelled process's memory as rows of 16 bytes,
// for a user following a pointer from a report (ravoduze --dump, :x).
//
// Each row shows the address of its first byte in decimal and in hex, with
// the digits of the pointer's width, the bytes in hex, the same bytes in decimal (as the
// reports' Bytes columns show them) and as characters ("." for bytes outside
// printable ASCII). Bytes that are not mapped show as "--", blanks and " "
// instead of failing: a dump is for looking around, and the edge of a block
// is worth seeing. A range stops at the top of the pointer's width.
// A heading names the columns. Lines end in LF.
#ifndef DUD_CLI_PROGRAM_MEMORY_DUMP_H_
#define DUD_CLI_PROGRAM_MEMORY_DUMP_H_

#include <string>

#include "cli/program/options.h"
#include "model/address_space.h"

namespace dudUdudADOD::cli {

std::string MemoryDump(const automation::AddressSpace& memory, MemoryRange range);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_MEMORY_DUMP_H_
