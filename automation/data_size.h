// DataSize: how many bytes of data a value takes, judged by its type code
// alone.
//
// Integer and Boolean 2; Long, Single and Error 4; Double, Currency and Date
// 8; Byte 1; the other integer types their storage size (SByte 1, UShort 2,
// UInteger, Int and UInt 4, LongLong and ULong 8); String its LenB; an array of Byte the element
// count of its first declared dimension; everything else 0 (Empty, Null, objects, Variant, Decimal,
// user-defined types and every other array). The table is the whole rule: it is what the report's
// byte counts and byte dumps rely on.
#ifndef DUD_AUTOMATION_DATA_SIZE_H_
#define DUD_AUTOMATION_DATA_SIZE_H_

#include <cstdint>

#include "automation/client_process.h"

namespace dudUdudADOD::automation {

// The data size of the value that the argument variant at `var` holds or
// refers to. Raises 9 for an array of Byte without storage, 6 when a count
// does not fit a Long, 5 when the memory cannot be read.
int32_t DataSize(const ClientProcess& process, Address var);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_DATA_SIZE_H_
