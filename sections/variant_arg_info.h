// VariantArgInfo: the "/// VARIANT_ARG STRUCTURE ///" section, the argument
// variant field by field (16 bytes on 32-bit Windows, 24 on 64-bit).
#ifndef DUD_SECTIONS_VARIANT_ARG_INFO_H_
#define DUD_SECTIONS_VARIANT_ARG_INFO_H_

#include <cstdint>
#include <string>

#include "automation/client_process.h"

namespace dudUdudADOD::sections {

// `var` is the argument variant's address; `argAddress` receives it as the
// report shows it (a signed number of the pointer's width).
std::u16string VariantArgInfo(automation::ClientProcess& process, automation::Address var,
                              int64_t& argAddress);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_VARIANT_ARG_INFO_H_
