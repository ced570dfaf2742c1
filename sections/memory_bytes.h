// MemoryBytes: a run of memory as a row of decimal byte values, each followed
// by one space ("3 64 "), for the Bytes column of the table sections.
//
// The bytes are copied into a Byte array of the component's own (in the
// process's memory, freed before return) and printed by the values printer
// with every switch off, so a byte row looks exactly like a Byte array's
// values. A count of 0 raises 9 (the array would have no element 0); a
// negative count raises 9 too, before any memory is read. Unreadable memory
// raises 5. `address` is as the report shows it: a signed number of the
// pointer's width.
#ifndef DUD_SECTIONS_MEMORY_BYTES_H_
#define DUD_SECTIONS_MEMORY_BYTES_H_

#include <cstdint>
#include <string>

#include "automation/client_process.h"

namespace dudUdudADOD::sections {

std::u16string MemoryBytes(automation::ClientProcess& process, int64_t address, int32_t count);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_MEMORY_BYTES_H_
