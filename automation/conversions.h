// The platform's conversions that need nothing but memory: the type queries
// VarType and the names of type codes, the length of a value's text through
// the ClientProcess's own services, and the ANSI code page's characters.
// The conversions of the modelled runtime (CStr, CLng, ChangeType) are
// model/variant_conversions.h; text_forms.h writes the texts.
#ifndef DUD_AUTOMATION_CONVERSIONS_H_
#define DUD_AUTOMATION_CONVERSIONS_H_

#include <cstdint>
#include <string>

#include "automation/client_process.h"
#include "automation/variant.h"

namespace dudUdudADOD::automation {

// VarType: the type code, array bit included, never the by-reference bit.
// It reads no value: only a reference to a Variant is followed, to that
// variant's type word (raises 5 when that cannot be read, 13 when it refers
// on to another variant).
uint16_t VarType(const Memory& memory, const VariantImage& v);

// The name of a type code without the array bit; "Unknown" for DataObject,
// user-defined types and codes the platform does not know.
const char16_t* BaseTypeName(uint16_t type);

// The number of characters the process's CStr would append (ClientProcess::AppendText), found
// without making the text of a string or of a Byte array (their lengths stand in memory, and their
// texts may be as long as a string can be). Raises what CStr raises for a value without text, or
// for a string whose length prefix cannot be read.
uint64_t TextLength(const ClientProcess& process, const VariantImage& v);

// Chr of a single-byte code in the ANSI code page (Windows-1252): 0 to 255,
// 128 to 159 mapped as that code page maps them. Raises 5 for other codes.
char16_t AnsiChar(int32_t code);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_CONVERSIONS_H_
