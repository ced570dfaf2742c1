#include "sections/string_element.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "automation/bstr.h"
#include "automation/checked_math.h"
#include "automation/digits.h"
#include "automation/integer_text.h"
#include "sections/element_text.h"

namespace dudUdudADOD::sections {

using namespace automation;  // the platform model is this file's vocabulary

namespace {

// A string of up to this many bytes is written through a pointer into room
// taken for it beforehand; a longer one is read straight into the report.
constexpr uint32_t kShortString = 256;
constexpr size_t kShortWidest = StringElement::kShortWidest;
static_assert(kShortWidest == kShortString / 2 + kAddressAndLengthWidest);

// Copies `n` bytes as at most two overlapping loads and stores of one width
// up to 16 bytes, and in 16-byte steps past that: the texts are short and
// of every length, and neither a call nor a string instruction's start-up
// pays for a dozen bytes. Reads nothing outside the source.
[[gnu::always_inline]] inline void CopyShort(uint8_t* dest, const uint8_t* src, size_t n) {
  const auto copy = [&](auto word) {
    std::memcpy(&word, src, sizeof word);
    decltype(word) last;
    std::memcpy(&last, src + n - sizeof word, sizeof word);
    std::memcpy(dest, &word, sizeof word);
    std::memcpy(dest + n - sizeof word, &last, sizeof word);
  };
  if (n >= 16) {
    for (size_t at = 0; at + 16 < n; at += 16) std::memcpy(dest + at, src + at, 16);
    std::memcpy(dest + n - 16, src + n - 16, 16);
  } else if (n >= 8) {
    copy(uint64_t{});
  } else if (n >= 4) {
    copy(uint32_t{});
  } else if (n >= 2) {
    copy(uint16_t{});
  } else if (n == 1) {
    dest[0] = src[0];
  }
}

// Copies a text of `n` bytes from a run that RunBytes gave, which may be
// loaded kRunSlack (16) bytes past its end, into room 16 bytes wider. Up
// to 32 bytes go as two 16-byte moves whatever their length, the second
// from halfway, which with the first covers the text and reads no further
// than 16 bytes past it: the strings of an array take turns at random, and
// a branch on which one came would mostly guess wrong.
[[gnu::always_inline]] inline void CopyText(uint8_t* dest, const uint8_t* src, size_t n) {
  static_assert(Memory::kRunSlack == 16);
  if (n > 32) return CopyShort(dest, src, n);
  std::memcpy(dest, src, 16);
  std::memcpy(dest + n / 2, src + n / 2, 16);
}

// "length)" for each byte length of a short string, plain and halved ("5.5)"
// for 11 bytes), as eight characters of which the first ones count and the
// last tells how many: one 16-byte store writes any of them.
struct LengthTexts {
  std::array<std::array<char16_t, 8>, kShortString + 1> plain, halved;
};
constexpr LengthTexts kLengthTexts = [] {
  const auto make = [](uint32_t whole, bool half) {
    std::array<char16_t, 8> text{};
    size_t n = 0;
    if (whole >= 100) text[n++] = static_cast<char16_t>(u'0' + whole / 100);
    if (whole >= 10) text[n++] = static_cast<char16_t>(u'0' + whole / 10 % 10);
    text[n++] = static_cast<char16_t>(u'0' + whole % 10);
    if (half) {
      text[n++] = u'.';
      text[n++] = u'5';
    }
    text[n++] = u')';
    text[7] = static_cast<char16_t>(n);
    return text;
  };
  LengthTexts texts{};
  for (uint32_t bytes = 0; bytes <= kShortString; ++bytes) {
    texts.plain[bytes] = make(bytes, false);
    texts.halved[bytes] = make(bytes / 2, bytes % 2 != 0);
  }
  return texts;
}();

// The address as WriteInteger writes it, at `p`, which has room for 24
// characters: the digits above the last four come from the memo when the
// address before had the same.
[[gnu::always_inline]] inline char16_t* WriteAddress(char16_t* p, int64_t address,
                                                     StringElement::Memo& memo) {
  const uint64_t magnitude = Magnitude(address);
  const uint64_t high_magnitude = magnitude / 10000;
  if (high_magnitude == 0) return WriteInteger(p, address);  // no digits above the last four
  const auto low = static_cast<uint32_t>(magnitude - high_magnitude * 10000);
  const int64_t high =
      address < 0 ? -static_cast<int64_t>(high_magnitude) : static_cast<int64_t>(high_magnitude);
  if (high != memo.high) {
    char16_t* end = WriteInteger(memo.high_text.data(), high);
    memo.high_length = static_cast<size_t>(end - memo.high_text.data());
    memo.high = high;
  }
  // All sixteen characters, however many count: the room holds them.
  std::memcpy(p, memo.high_text.data(), sizeof memo.high_text);
  p += memo.high_length;
  const uint32_t hundreds = low * 5243 >> 19;  // low / 100, for any low below 10000
  // Both pairs as one word, put together in general registers.
  const uint64_t digits =
      kDigitPairWords[hundreds] | uint64_t{kDigitPairWords[low - hundreds * 100]} << 32;
  std::memcpy(p, &digits, sizeof digits);
  return p + 4;
}

// "(^address/length)" as WriteAddressAndLength writes it, for a short
// string's length, at `p`, which has room for kAddressAndLengthWidest
// characters.
[[gnu::always_inline]] inline char16_t* WriteShortAddressAndLength(char16_t* p, int64_t address,
                                                                   uint32_t bytes, bool halved,
                                                                   StringElement::Memo& memo) {
  *p++ = u'(';
  *p++ = u'^';
  p = WriteAddress(p, address, memo);
  *p++ = u'/';
  const auto& text = (halved ? kLengthTexts.halved : kLengthTexts.plain)[bytes];
  std::memcpy(p, text.data(), sizeof text);
  return p + text[7];
}

}  // namespace

StringElement::StringElement(const ClientProcess& process)
    : process_(process),
      memory_(process.memory()),
      layout_(memory_.layout()),
      narrow_(layout_.pointer_size == 4) {}

// The prefix is read as SysStringByteLen reads it; a string that passes the
// end of its run is left to the general path, which may find it whole over
// adjacent runs or raise. The real process copies a short text with its
// prefix, in one guarded copy, and a longer one straight to `p`.
template <bool kNarrow>
[[gnu::always_inline]] inline char16_t* StringElement::WriteShort(char16_t* p, size_t length,
                                                                  Address bstr, bool addr_len,
                                                                  bool halved, Memo& memo) const {
  if constexpr (std::endian::native != std::endian::little) return nullptr;
  if (bstr < kBstrPrefix) return nullptr;  // the null string, or one whose prefix is not there
  // A memory that copies copies the prefix with what follows it, as much as
  // a common string's text takes; the slack after it may be loaded.
  constexpr uint32_t kCopied = kBstrPrefix + 60;
  uint8_t scratch[kCopied + Memory::kRunSlack];
  uint64_t readable = 0;
  const uint8_t* prefix =
      memory_.RunBytes(bstr - kBstrPrefix, kBstrPrefix, scratch, memo.cache, &readable, kCopied);
  if (prefix == nullptr) return nullptr;
  uint32_t bytes;
  std::memcpy(&bytes, prefix, sizeof bytes);
  if (bytes > kShortString) return nullptr;
  if (bytes != 0) {
    // The text is read where the prefix was when it lies there too.
    auto* room = reinterpret_cast<uint8_t*>(p);
    const uint8_t* run = readable - kBstrPrefix >= bytes
                             ? prefix + kBstrPrefix
                             : memory_.RunBytes(bstr, bytes, room, memo.cache);
    if (run == nullptr) return nullptr;
    if (run != room) CopyText(room, run, bytes);
  }
  // As CheckStringSpace checks it, with no call for the text that fits.
  if (length != 0 && length > kMaxStringChars - bytes / 2) CheckStringSpace(length, bytes / 2);
  char16_t* end = p + bytes / 2;
  if (!addr_len) return end;
  // The address as the process shows it: a 32-bit one is signed.
  const auto address = kNarrow ? int64_t{static_cast<int32_t>(bstr)} : static_cast<int64_t>(bstr);
  return WriteShortAddressAndLength(end, address, bytes, halved, memo);
}

void StringElement::Append(std::u16string& text, size_t before, Address bstr, bool addr_len,
                           bool halved, Memo& memo) const {
  char16_t room[kShortWidest];
  const size_t length = before + text.size();
  if (char16_t* end = narrow_ ? WriteShort<true>(room, length, bstr, addr_len, halved, memo)
                              : WriteShort<false>(room, length, bstr, addr_len, halved, memo)) {
    text.append(room, static_cast<size_t>(end - room));
    return;
  }
  AppendLong(text, before, bstr, addr_len, halved);
}

// The text grows by room for many elements at a time, which they are written
// into through a pointer, and is cut to what they wrote when the run ends,
// however it ends: a string that raises leaves the text of the elements
// before it. Each element may store up to eight characters past its end
// (the length's and the separator's whole-word stores); the room covers them.
void StringElement::AppendCells(std::u16string& text, size_t before, const uint8_t* cells, size_t n,
                                size_t stride, std::u16string_view sep, bool addr_len, bool halved,
                                Memo& memo) const {
  if (narrow_) {
    AppendCellsOf<true>(text, before, cells, n, stride, sep, addr_len, halved, memo);
  } else {
    AppendCellsOf<false>(text, before, cells, n, stride, sep, addr_len, halved, memo);
  }
}

template <bool kNarrow>
void StringElement::AppendCellsOf(std::u16string& text, size_t before, const uint8_t* cells,
                                  size_t n, size_t stride, std::u16string_view sep, bool addr_len,
                                  bool halved, Memo& memo) const {
  if (n == 0) return;
  constexpr size_t kSepWord = 8;  // a separator this short is stored as one word
  std::array<char16_t, kSepWord> sep_word{};
  const bool short_sep = sep.size() <= kSepWord;
  if (short_sep) std::copy(sep.begin(), sep.end(), sep_word.begin());
  const size_t widest = kShortWidest + std::max(sep.size(), kSepWord);
  const size_t growth = std::max<size_t>(widest, 4096);
  // The end of the text is `p`; the room after it runs to `limit` and
  // `widest` past it. Held apart from the string, which a byte store through
  // any pointer could alias, so that they stay in registers.
  char16_t* p = text.data() + text.size();
  char16_t* limit = p;
  struct Cut {
    std::u16string& text;
    char16_t* const& p;
    ~Cut() { text.resize(static_cast<size_t>(p - text.data())); }
  } cut{text, p};
  // No element can take the report past a string's length while the whole
  // room fits in one: the check per element is needed only near the end.
  bool roomy = false;
  const auto grow = [&] {
    const auto at = static_cast<size_t>(p - text.data());
    text.resize(at + growth);
    p = text.data() + at;
    limit = text.data() + text.size() - widest;
    roomy = before + text.size() <= kMaxStringChars;
  };
  grow();
  for (size_t i = 0; i < n; ++i) {
    if (p > limit) grow();
    const Address bstr = PointerAt<kNarrow>(cells + i * stride);
    const size_t length = roomy ? 0 : before + static_cast<size_t>(p - text.data());
    // As a walk in order checks after each element: a report that the last
    // one's address, length or separator took too far raises before the
    // next string is read.
    if (length > kMaxStringChars) CheckStringSpace(length, 0);
    char16_t* end = WriteShort<kNarrow>(p, length, bstr, addr_len, halved, memo);
    if (end == nullptr) {
      const auto at = static_cast<size_t>(p - text.data());
      text.resize(at);
      try {
        AppendLong(text, before, bstr, addr_len, halved);
      } catch (...) {
        p = text.data() + at;  // the text may have moved: what it kept is cut
        throw;
      }
      p = text.data() + text.size();
      grow();
      end = p;
    }
    if (short_sep) {
      std::memcpy(end, sep_word.data(), sizeof sep_word);
    } else {
      CopyShort(reinterpret_cast<uint8_t*>(end), reinterpret_cast<const uint8_t*>(sep.data()),
                sep.size() * sizeof(char16_t));
    }
    p = end + sep.size();
  }
}

template <bool kNarrow>
Address StringElement::PointerAt(const uint8_t* cell) const {
  if constexpr (std::endian::native == std::endian::little) {
    std::conditional_t<kNarrow, uint32_t, uint64_t> at;
    std::memcpy(&at, cell, sizeof at);
    return at;
  }
  return CellPointer(layout_, cell);
}

void StringElement::AppendLong(std::u16string& text, size_t before, Address bstr, bool addr_len,
                               bool halved) const {
  // The length prefix is read once for the room, the text and the length.
  const uint32_t bytes = process_.SysStringByteLen(bstr);
  CheckStringSpace(before + text.size(), bytes / 2);
  AppendUtf16Bytes(text, memory_, bstr, bytes);
  if (addr_len) AppendAddressAndLength(text, SignedAddress(layout_, bstr), bytes, halved);
}

}  // namespace dudUdudADOD::sections
