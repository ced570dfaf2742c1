// Arrays on the model's heap: the platform's SafeArrayCreate, Destroy and
// Copy over the modelled process (safe_array.h gives the layout and the
// reads).
//
// Descriptors made here carry FADF_HAVEVARTYPE and keep the element type in
// the 4 bytes before the descriptor, as the platform does.
#ifndef DUD_MODEL_SAFE_ARRAY_HEAP_H_
#define DUD_MODEL_SAFE_ARRAY_HEAP_H_

#include <cstdint>
#include <span>

#include "automation/safe_array.h"
#include "model/model_only.h"
#include "model/process.h"

namespace dudUdudADOD::automation {

// One dimension as a client declares it: `lower` To `upper`. upper may be
// lower - 1 (no elements).
struct DeclaredBound {
  int32_t lower = 0;
  int32_t upper = -1;
};

// Creates a zero-filled array of `element_type` with 1 to 60 dimensions,
// given in declaration order, and returns its descriptor's address. Raises 9
// for an upper bound below lower - 1 or a dimension count outside 1 to 60, and
// 7 when the data would not fit the address space; nothing is allocated then.
Address SafeArrayCreate(Process& process, uint16_t element_type,
                        std::span<const DeclaredBound> bounds);

// Frees the elements' strings and the variants' contents, the data and the
// descriptor. 0 is ignored.
void SafeArrayDestroy(Process& process, Address descriptor);

// Frees the elements' strings and the variants' contents and zero-fills the
// data; the descriptor and the data keep their addresses.
void SafeArrayClearElements(Process& process, Address descriptor);

// A deep copy: new descriptor, new data, new strings. 0 copies to 0.
Address SafeArrayCopy(Process& process, Address descriptor);

// The host bytes that hold all of an array's data, for code that fills an
// array whole (FileBytes, tests, benchmarks); empty when the array has no
// elements or its data is not one mapped run.
std::span<uint8_t> SafeArrayDataBytes(AddressSpace& memory, Address descriptor);

}  // namespace dudUdudADOD::automation

#endif  // DUD_MODEL_SAFE_ARRAY_HEAP_H_
