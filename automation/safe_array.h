// Array descriptors and their data, as the platform lays them out.
//
// Descriptor: cDims (u16) at 0, fFeatures (u16) at 2, cbElements (u32) at 4,
// cLocks (u32) at 8, pvData at the layout's pv_data_offset (a 32-bit address
// at 12; on 64-bit, 4 bytes of padding and a 64-bit address at 16), then from
// the layout's descriptor_head (16 or 24) cDims bounds of 8 bytes each:
// cElements (u32), lLbound (i32). Bounds stand in reverse order
// of declaration; in the data the first declared dimension changes fastest.
// The platform keeps the element type in the 4 bytes before a descriptor
// that carries FADF_HAVEVARTYPE (the model's descriptors all do).
//
// An array variable is a pointer-sized cell holding the descriptor's
// address, 0 for an array without storage (a dynamic array never dimensioned, or erased).
#ifndef DUD_AUTOMATION_SAFE_ARRAY_H_
#define DUD_AUTOMATION_SAFE_ARRAY_H_

#include <cstdint>
#include <span>

#include "automation/memory.h"

namespace dudUdudADOD::automation {

inline constexpr uint32_t kBoundSize = 8;
inline constexpr int kMaxDims = 60;

inline constexpr uint16_t FADF_HAVEVARTYPE = 0x0080;
inline constexpr uint16_t FADF_BSTR = 0x0100;
inline constexpr uint16_t FADF_UNKNOWN = 0x0200;
inline constexpr uint16_t FADF_DISPATCH = 0x0400;
inline constexpr uint16_t FADF_VARIANT = 0x0800;

uint16_t SafeArrayDims(const Memory& memory, Address descriptor);
uint32_t SafeArrayElementSize(const Memory& memory, Address descriptor);
Address SafeArrayData(const Memory& memory, Address descriptor);
// The bytes of a descriptor with `dims` bounds, head included.
uint32_t DescriptorBytes(const Layout& layout, uint32_t dims);
// The element type kept before the descriptor.
uint16_t SafeArrayVarType(const Memory& memory, Address descriptor);
// Number of elements of all dimensions (64-bit: a lying descriptor may claim
// more than a Long holds).
uint64_t SafeArrayElementCount(const Memory& memory, Address descriptor);
// The bytes of an array's data (count times element size); 0 for an array
// without storage. Raises 5 for a descriptor that claims more than any space
// holds, so the product never wraps.
uint64_t SafeArrayDataSize(const Memory& memory, Address descriptor);

// LBound and UBound of a dimension counted from 1 in declaration order.
// Raise 9 for an array without storage or a dimension it does not have.
int32_t LBound(const Memory& memory, Address descriptor, int dimension = 1);
int32_t UBound(const Memory& memory, Address descriptor, int dimension = 1);

// The address of the element at `indexes`, one per dimension in declaration
// order, as a(i, j) finds it. Raises 9 for an array without storage, a count
// of indexes other than its dimensions' or an index outside its bounds.
Address SafeArrayElementAddress(const Memory& memory, Address descriptor,
                                std::span<const int32_t> indexes);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_SAFE_ARRAY_H_
