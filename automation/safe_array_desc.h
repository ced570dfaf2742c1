// SafeArrayDesc: the component's own copy of an array descriptor, and
// ReadSafeArrayDesc, which takes that copy.
//
// The record is a memory image of the descriptor with room for 60 bounds,
// 496 bytes on 32-bit Windows and 504 on 64-bit: cDims (i16) at 0, fFeatures
// (u16) at 2, cbElements (i32) at 4, cLocks (i32) at 8, pvData at 12 (on
// 64-bit, at 16 after 4 bytes of padding), then bound k at head + 8k, head
// being 16 (24): cElements (i32) and lLbound (i32). Bounds stay in the order the platform stores
// them (the last declared dimension first). The record lives in the process's memory, in the frame
// of the call that owns it, so its address can be shown and its bytes dumped like any other memory.
#ifndef DUD_AUTOMATION_SAFE_ARRAY_DESC_H_
#define DUD_AUTOMATION_SAFE_ARRAY_DESC_H_

#include <array>
#include <cstdint>

#include "automation/client_process.h"
#include "automation/safe_array.h"

namespace dudUdudADOD::automation {

// The record's size for `layout`, and the largest of any platform's.
inline uint32_t SafeArrayDescSize(const Layout& layout) {
  return DescriptorBytes(layout, kMaxDims);
}
inline constexpr uint32_t kMaxSafeArrayDescSize = 24 + kBoundSize * kMaxDims;

// A host-side reading of a record's fields.
struct SafeArrayDesc {
  struct Bound {
    int32_t cElements = 0;
    int32_t lLbound = 0;
  };
  int16_t cDims = 0;
  uint16_t fFeatures = 0;
  int32_t cbElements = 0;
  int32_t cLocks = 0;
  Address pvData = 0;
  std::array<Bound, kMaxDims> rgsabound{};

  static SafeArrayDesc Load(const Memory& memory, Address record);
};

// A snapshot taken straight into a host record, for callers that never show
// the record's own address: the same reading and the same errors as
// ReadSafeArrayDesc. An array without storage leaves `desc` as it was.
void SnapshotSafeArrayDesc(const Memory& memory, Address cell, SafeArrayDesc& desc, int32_t& total);

// The cell that holds the descriptor's address, for the argument variant at
// `var`: with the by-reference bit, the address in its data field (the
// client's array variable); without it, the data field itself. A Variant
// passed by reference (an element of a Variant array) is followed to its
// own variant and read the same way; one that refers to another
// by-reference Variant raises 13, as Dereference does.
Address DescriptorCell(const Memory& memory, Address var);

// Copies the descriptor whose address stands at `cell` into the record at
// `desc` (the layout's head and exactly cDims bounds) and sets `total` to
// cbElements times the product of the bounds' cElements, all checked 32-bit
// arithmetic (error 6 past 2,147,483,647). An address of 0 (an array without
// storage) sets `total` to 0 and leaves the record as it was. A descriptor
// that claims a negative number or more than 60 dimensions does not fit the
// record: it is refused with error 9 before anything is copied.
void ReadSafeArrayDesc(ClientProcess& process, Address desc, Address cell, int32_t& total);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_SAFE_ARRAY_DESC_H_
