// SafeArrayInfo: the "/// SAFEARRAY STRUCTURE ///" section, the head fields of
// the component's descriptor record and, with bounds, one row per stored
// bound. Addresses and byte dumps are those of the record itself.
#ifndef DUD_SECTIONS_SAFE_ARRAY_INFO_H_
#define DUD_SECTIONS_SAFE_ARRAY_INFO_H_

#include <string>

#include "automation/client_process.h"

namespace dudUdudADOD::sections {

// `desc` is the address of the SafeArrayDesc record.
std::u16string SafeArrayInfo(automation::ClientProcess& process, automation::Address desc,
                             bool withBounds);

}  // namespace dudUdudADOD::sections

#endif  // DUD_SECTIONS_SAFE_ARRAY_INFO_H_
