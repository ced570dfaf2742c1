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
// strings, each array once however many elements hold it. A string counts
// only where the report could read it: its length prefix and its text must
// be there. Blocks are listed in address order: the argument and the
// variable always, the lowest kListedBlocks descriptors and data blocks and
// the lowest kListedStrings string bodies (the totals count them all).
//
// Memory: the walk keeps one address per distinct array and per distinct
// string (AddressSet) and the arrays still to visit, never a pointer per
// element, and the listed blocks are bounded, so a value of millions of
// elements that share a string costs what the report costs.
#ifndef DUD_INSPECTOR_FOOTPRINT_H_
#define DUD_INSPECTOR_FOOTPRINT_H_

#include <array>
#include <cstdint>
#include <optional>
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

// Where a walk of MeasureReadable stopped: the run-time error that the
// block of `kind` at `address` raised.
struct FootprintStop {
  int number = 0;
  BlockKind kind = BlockKind::kArgument;
  automation::Address address = 0;
};

struct FootprintFact {
  std::vector<BlockFact> blocks;  // in address order
  uint64_t unlisted_strings = 0;  // string bodies counted but not listed
  uint64_t unlisted_blocks = 0;   // descriptors and data counted but not listed
  std::array<KindTotal, kBlockKinds> kinds{};
  uint64_t total = 0;
  std::optional<FootprintStop> stopped;  // MeasureReadable only

  const KindTotal& of(BlockKind kind) const { return kinds[static_cast<size_t>(kind)]; }
};

inline constexpr size_t kListedStrings = 64;
inline constexpr size_t kListedBlocks = 4096;

// Measures the value behind the argument variant at `var`. Raises 5 where a
// block's memory cannot be read, 9 for a descriptor of more than 60
// dimensions.
FootprintFact MeasureFootprint(const automation::ClientProcess& process, automation::Address var);

// The same, but a block that cannot be read ends the walk instead of
// raising: the fact holds what was counted before it, and `stopped` says
// where. For the picture, which shows what could be read.
FootprintFact MeasureReadable(const automation::ClientProcess& process, automation::Address var);

}  // namespace dudUdudADOD

#endif  // DUD_INSPECTOR_FOOTPRINT_H_
