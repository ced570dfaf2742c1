// VariableInfo: the "/// VARIABLE ///" section, one row telling what the
// variable is, where it lies, whether it came by reference, its length, and
// for a plain value the value and its bytes.
#ifndef DUD_SECTIONS_VARIABLE_INFO_H_
#define DUD_SECTIONS_VARIABLE_INFO_H_

#include <cstdint>
#include <string>

#include "automation/client_process.h"

namespace dudUdudADOD::sections {

// For an array `dataBytes` holds the total of data bytes and is only printed;
// for anything else it is set to the value's data size.
std::u16string VariableInfo(automation::ClientProcess& process, automation::Address var,
                            int32_t& dataBytes);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_VARIABLE_INFO_H_
