#include "automation/platform.h"

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

const Layout& LayoutOf(Platform platform) {
  return platform == Platform::kWin64 ? kWin64Layout : kWin32Layout;
}

std::u16string_view PlatformName(Platform platform) {
  return platform == Platform::kWin64 ? u"win64" : u"win32";
}

std::optional<Platform> PlatformNamed(std::string_view name) {
  if (name == "win32") return Platform::kWin32;
  if (name == "win64") return Platform::kWin64;
  return std::nullopt;
}

int64_t SignedAddress(const Layout& layout, Address address) {
  if (layout.pointer_size == 4) return static_cast<int32_t>(static_cast<uint32_t>(address));
  return static_cast<int64_t>(address);
}

Address ToAddress(const Layout& layout, int64_t shown) {
  if (layout.pointer_size == 4) return static_cast<uint32_t>(shown);
  return static_cast<Address>(shown);
}

int64_t AddAddress(const Layout& layout, int64_t shown, int64_t delta) {
  int64_t sum;
  if (__builtin_add_overflow(shown, delta, &sum)) Raise(kOverflow);
  if (layout.pointer_size == 4 && (sum < INT32_MIN || sum > INT32_MAX)) Raise(kOverflow);
  return sum;
}

}  // namespace dudUdudADOD::automation
