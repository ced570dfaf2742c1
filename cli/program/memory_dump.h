// MemoryDump: a run of the modelled process's memory as rows of 16 bytes,
// for a user following a pointer from a report (ravoduze --dump, :x).
//
// A title line says what is shown and where it starts, in decimal (as the
// reports write addresses) and in hex of the pointer's width (as a debugger
// does): "s (String): 4 bytes at 1242996 (0x0012F774)". A heading numbers
// the columns, then each row shows the decimal address of its first byte,
// the bytes in hex and the same bytes as characters ("." for bytes outside
// printable ASCII). Rows fit 80 columns for addresses of up to 13 digits
// (every 32-bit one, and those of the modelled 64-bit process). Bytes that are not mapped show as
// "--" instead of failing: a dump is for looking around, and the edge of a block is worth seeing. A
// range stops at the top of the pointer's width. Lines end in CR LF, as the reports' do, or in LF
// when asked; no line ends in a blank.
#ifndef DUD_CLI_PROGRAM_MEMORY_DUMP_H_
#define DUD_CLI_PROGRAM_MEMORY_DUMP_H_

#include <string>

#include "cli/program/options.h"
#include "model/address_space.h"

namespace dudUdudADOD::cli {

// A run of memory and what it is, for the title ("" for a bare address).
struct Dump {
  MemoryRange range;
  std::string what;
};

std::string MemoryDump(const automation::AddressSpace& memory, const Dump& dump, bool lf);

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_MEMORY_DUMP_H_
