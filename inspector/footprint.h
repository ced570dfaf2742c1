// The footprint of an inspected value: every byte it occupies in the
// client's memory, block by block.
//
// Used by the structured twin (report_facts.h) and, through it, by the
// command-line client's --footprint and --svg. The blocks:
//   argument    the 16-byte argument variant
//   variable    what a by-reference argument points at: the variable's own
//               cell (a 4-byte descriptor cell for an array, the value for a
//               scalar, 16 bytes for a Variant); none when the argument is
//               the variable itself (a Variant passed as itself)
//   descriptor  an array descriptor with its bounds (16 + 8 per dimension),
//               and the 16 bytes the platform keeps before it when its
//               features say so (an element type or an interface id)
//   data        an array's elements
//   string      a string body: the 4-byte length prefix, the text and the
//               2-byte terminator; a string shared by several elements is
//               counted once
// Arrays held in Variant elements count with their descriptors, data and
// strings, each array once however many elements hold it. Blocks are listed
// in address order, string bodies only up to kListedStrings of them (the
// totals count them all), so a footprint of millions of strings stays small.
#ifndef DUD_INSPECTOR_FOOTPRINT_H_
#define DUD_INSPECTOR_FOOTPRINT_H_

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "automation/client_process.h"

namespace dudUdudADOD {

enum class BlockKind { kArgument, kVariable, kDescriptor, kData, kString };
inline constexpr size_t kBlockKinds = 5;

// "argument", "variable", "descriptor", "data", "string".
std::string_view BlockKindName(BlockKind kind);

struct BlockFact {
  BlockKind kind = BlockKind::kArgument;
  automation::Address address = 0;
  uint64_t size = 0;
  automation::Address parent = 0;  // the block whose pointer leads here; 0 for the argument
  uint32_t prefix = 0;             // bytes before the structure itself: a descriptor's 16
};

struct KindTotal {
  uint64_t blocks = 0;
  uint64_t bytes = 0;
};

struct FootprintFact {
  std::vector<BlockFact> blocks;  // in address order
  uint64_t unlisted_strings = 0;  // string bodies counted but not listed
  std::array<KindTotal, kBlockKinds> kinds{};
  uint64_t total = 0;

  const KindTotal& of(BlockKind kind) const { return kinds[static_cast<size_t>(kind)]; }
};

inline constexpr size_t kListedStrings = 64;

// Measures the value behind the argument variant at `var`. Raises 5 where a
// block's memory cannot be read.
FootprintFact MeasureFootprint(const automation::ClientProcess& process, automation::Address var);

}  // namespace dudUdudADOD

#endif  // DUD_INSPECTOR_FOOTPRINT_H_
