// VariantArgInfo: the "/// VARIANT_ARG STRUCTURE ///" section, the 16-byte
// argument variant field by field.
#ifndef DUD_SECTIONS_VARIANT_ARG_INFO_H_
#define DUD_SECTIONS_VARIANT_ARG_INFO_H_

#include <cstdint>
#include <string>

#include "automation/client_process.h"

namespace dudUdudADOD::sections {

// `var` is the argument variant's address; `argAddress` receives it.
std::u16string VariantArgInfo(automation::ClientProcess& process, automation::Address var,
                              int32_t& argAddress);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_VARIANT_ARG_INFO_H_
