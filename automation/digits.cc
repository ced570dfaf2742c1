#include "automation/digits.h"

#include <cstring>

namespace dudUdudADOD::automation {

int CountDigits(uint64_t v) {
  // 0 has one digit, like 1; and since every power of ten above 1 is even,
  // setting the low bit changes no other count.
  v |= 1;
  // bit_width x log10(2) (1233 / 4096) is the digit count or one less.
  const auto bits = static_cast<int>(std::bit_width(v));
  const int estimate = (bits * 1233) >> 12;
  return estimate + (v >= kPowersOf10[static_cast<size_t>(estimate)] ? 1 : 0);
}

// The part below 2^32 is done in 32-bit arithmetic, the cheaper division.
void WriteDigitsBackwards(char16_t* end, uint64_t v) {
  while (v > UINT32_MAX) {
    const auto pair = static_cast<size_t>(v % 100);
    v /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs16[pair].data(), sizeof kDigitPairs16[pair]);
  }
  auto w = static_cast<uint32_t>(v);
  while (w >= 100) {
    const uint32_t pair = w % 100;
    w /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs16[pair].data(), sizeof kDigitPairs16[pair]);
  }
  if (w >= 10) {
    std::memcpy(end - 2, kDigitPairs16[w].data(), sizeof kDigitPairs16[w]);
  } else {
    *--end = static_cast<char16_t>(u'0' + w);
  }
}

void AppendUnsigned(std::u16string& out, uint64_t v) {
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(CountDigits(v)));
  WriteDigitsBackwards(out.data() + out.size(), v);
}

}  // namespace dudUdudADOD::automation
