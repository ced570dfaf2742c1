// Ownership of what variants point at: the platform's VariantClear and
// VariantCopy over the modelled process, and the store of an image into it.
//
// A variant that holds a string or an array (not by reference) owns it. Clear
// frees that and leaves Empty; Copy makes an independent deep copy, so that
// assigning a value never shares a string or an array between two variables.
// Objects are not reference counted in this model: copying an object variant
// copies its address.
#ifndef DUD_MODEL_VARIANT_MEMORY_H_
#define DUD_MODEL_VARIANT_MEMORY_H_

#include "automation/variant.h"
#include "model/model_only.h"
#include "model/process.h"

namespace dudUdudADOD::automation {

void VariantClear(Process& process, VariantImage& v);
VariantImage VariantCopy(Process& process, const VariantImage& v);

// Writes the image's bytes (the memory's variant size) at `address`.
void StoreVariant(AddressSpace& memory, Address address, const VariantImage& v);

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_VARIANT_MEMORY_H_
