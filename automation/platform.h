// Layout: the sizes and offsets in which a client process of one platform
// lays out its Automation data, 32-bit or 64-bit Windows.
//
// Every reader of the client's memory takes its widths from here, through
// the Memory it reads (memory.h), so that the same report code walks either
// process. What changes with the platform is the width of a pointer and what
// follows from it: the variant's data field (8 or 16 bytes at offset 8, so
// the variant is 16 or 24 bytes), the descriptor's pvData (at 12, or after 4
// bytes of padding at 16) and where its bounds start (16 or 24), and the
// cell of an array variable. A string keeps its 4-byte length prefix and a
// bound its 8 bytes on both.
//
// Addresses are shown as signed numbers of the pointer's width, so a 32-bit
// address at or above 2 GiB is negative as the platform prints it; sums that
// give addresses are checked in that width (error 6 past its signed range).
#ifndef DUD_AUTOMATION_PLATFORM_H_
#define DUD_AUTOMATION_PLATFORM_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace dudUdudADOD::automation {

using Address = uint64_t;

enum class Platform { kWin32, kWin64 };

struct Layout {
  Platform platform;
  uint32_t pointer_size;     // 4 or 8
  uint32_t variant_size;     // 16 or 24
  uint32_t data_field_size;  // 8 or 16, at kDataFieldOffset
  uint32_t pv_data_offset;   // 12 or 16
  uint32_t descriptor_head;  // 16 or 24: the first bound's offset
  uint64_t address_end;      // one past the highest address: 2^32, or 2^47 (user space)
};

inline constexpr uint32_t kDataFieldOffset = 8;
// The largest variant of any platform, for host buffers that hold one.
inline constexpr uint32_t kMaxVariantSize = 24;
// The most bytes a client's data can take, on either platform: more than any
// real array or string holds, so readers bound what a lying descriptor claims
// with it before they multiply.
inline constexpr uint64_t kLargestData = uint64_t{1} << 32;

inline constexpr Layout kWin32Layout{Platform::kWin32, 4, 16, 8, 12, 16, uint64_t{1} << 32};
inline constexpr Layout kWin64Layout{Platform::kWin64, 8, 24, 16, 16, 24, uint64_t{1} << 47};

const Layout& LayoutOf(Platform platform);
// "win32" or "win64", and back; nullopt for any other name.
std::u16string_view PlatformName(Platform platform);
std::optional<Platform> PlatformNamed(std::string_view name);

// The number an address shows as: signed, of the pointer's width.
int64_t SignedAddress(const Layout& layout, Address address);
// The address a shown number stands for (two's complement in the width).
Address ToAddress(const Layout& layout, int64_t shown);
// shown + delta, checked in the pointer's width: error 6 past its range.
int64_t AddAddress(const Layout& layout, int64_t shown, int64_t delta);

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_PLATFORM_H_
