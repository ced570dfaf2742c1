// Ownership of what variants point at: the platform's VariantClear and
// VariantCopy over the modelled process.
//
// A variant that holds a string or an array (not by reference) owns it. Clear
// frees that and leaves Empty; Copy makes an independent deep copy, so that
// assigning a value never shares a string or an array between two variables.
// Objects are not reference counted in this model: copying an object variant
// copies its address.
#ifndef DUD_AUTOMATION_VARIANT_MEMORY_H_
#define DUD_AUTOMATION_VARIANT_MEMORY_H_

#include "automation/process.h"
#include "automation/variant.h"

namespace dudUdudADOD::automation {

void VariantClear(Process& process, VariantImage& v);
VariantImage VariantCopy(Process& process, const VariantImage& v);

// Follows a by-reference variant to its value: the result holds the value
// itself (or, for a string, object or array, its address), as the
// platform's VariantCopyInd does but without copying strings or arrays. A
// reference to a variant is followed once; a variant that refers to another
// variant-by-reference raises 13. Raises 5 when the referenced memory cannot
// be read.
VariantImage Dereference(const Memory& memory, const VariantImage& v);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_VARIANT_MEMORY_H_
