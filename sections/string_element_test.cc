// A String element's text: the fast path and the general path write the same
// text for every string, one element at a time or a run of cells at once,
// and fail alike.
#include "sections/string_element.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "automation/bstr.h"
#include "automation/runtime_error.h"
#include "model/process.h"
#include "testutil/error_of.h"
#include "testutil/golden.h"

namespace dudUdudADOD::sections {
namespace {

using namespace automation;
using testutil::ErrorOf;
using testutil::U16;

// A string placed by hand: its prefix at `bstr - 4` claims `bytes`, and
// `mapped` of its text bytes exist (all of them unless said otherwise).
struct Placed {
  Address bstr;
  uint32_t bytes;
};

class StringElementTest : public ::testing::Test {
 protected:
  explicit StringElementTest(Platform platform = Platform::kWin32) : process_(platform) {}

  // Maps the prefix and `mapped` bytes of text (the character i is 'a' + i
  // % 26) as one block, or as two with `split_at_prefix`.
  Placed Place(Address bstr, uint32_t bytes, uint32_t mapped, bool split_at_prefix = false) {
    AddressSpace& m = process_.memory();
    if (split_at_prefix) {
      m.Map(bstr - kBstrPrefix, kBstrPrefix);
      if (mapped != 0) m.Map(bstr, mapped);
    } else {
      m.Map(bstr - kBstrPrefix, kBstrPrefix + mapped);
    }
    WriteUInt32(m, bstr - kBstrPrefix, bytes);
    for (uint32_t i = 0; i + 1 < mapped; i += 2) {
      WriteInt16(m, bstr + i, static_cast<int16_t>(u'a' + i / 2 % 26));
    }
    return {bstr, bytes};
  }

  // The text as a reader works it out: the characters, "(^", the signed
  // address, "/", the length, and ".5" for half of an odd one.
  std::u16string Expected(const Placed& s, bool halved) const {
    std::u16string text;
    for (uint32_t i = 0; i < s.bytes / 2; ++i) text += static_cast<char16_t>(u'a' + i % 26);
    int64_t shown = static_cast<int64_t>(s.bstr);
    if (process_.memory().layout().pointer_size == 4) shown = static_cast<int32_t>(s.bstr);
    text += u"(^" + U16(std::to_string(shown)) + u"/";
    text += U16(std::to_string(halved ? s.bytes / 2 : s.bytes));
    if (halved && s.bytes % 2 != 0) text += u".5";
    return text + u")";
  }

  // Each string written alone, and all of them as a run of cells; the two
  // must agree.
  std::u16string OneByOne(const std::vector<Address>& strings, bool halved,
                          std::u16string_view sep = u";") {
    StringElement::Memo memo;
    std::u16string text;
    for (Address bstr : strings) {
      element_.Append(text, 0, bstr, true, halved, memo);
      text += sep;
    }
    return text;
  }
  std::u16string AsCells(const std::vector<Address>& strings, bool halved, size_t before = 0,
                         std::u16string_view sep = u";") {
    const uint32_t width = process_.memory().layout().pointer_size;
    std::vector<uint8_t> cells(strings.size() * width);
    for (size_t i = 0; i < strings.size(); ++i) std::memcpy(&cells[i * width], &strings[i], width);
    StringElement::Memo memo;
    std::u16string text = u"before";
    element_.AppendCells(text, before, cells.data(), strings.size(), width, sep, true, halved,
                         memo);
    return text.substr(6);
  }

  Process process_;
  StringElement element_{process_};
};

// Lengths about the fast path's limit (256 bytes), odd ones, the empty and
// the null string, and neighbours whose addresses share their leading
// digits or not (10000 apart, or below 10000 where none are shared).
TEST_F(StringElementTest, EveryStringReadsAlikeOnEitherPath) {
  std::vector<Placed> placed;
  Address at = 0x00A00000;
  for (uint32_t bytes :
       {0u, 1u, 2u, 3u, 10u, 16u, 17u, 30u, 31u, 32u, 33u, 254u, 255u, 256u, 257u, 258u, 4000u}) {
    placed.push_back(Place(at + 4, bytes, bytes));
    at += 8 + (bytes + 8) / 8 * 8;
  }
  placed.push_back(Place(0x1000, 6, 6));  // 4096: no digits above the last four
  placed.push_back(Place(0x2710, 4, 4));  // 10000: the first address that has some
  placed.push_back(Place(0x4E1C, 4, 4));  // 19996
  placed.push_back(Place(0x4E24, 2, 2));  // 20004: a new high part
  placed.push_back(Place(0x2710 + 8 * 0x10, 2, 2));
  std::vector<Address> strings;
  for (bool halved : {false, true}) {
    std::u16string expected;
    strings.clear();
    for (const Placed& s : placed) {
      expected += Expected(s, halved) + u";";
      strings.push_back(s.bstr);
    }
    strings.push_back(0);
    expected += u"(^0/0);";
    EXPECT_SAME_TEXT(OneByOne(strings, halved), expected);
    EXPECT_SAME_TEXT(AsCells(strings, halved), expected);
  }
  // Separators short enough to be stored as one word, and longer.
  for (std::u16string_view sep : {u"", u"12345678", u"123456789"}) {
    EXPECT_SAME_TEXT(AsCells(strings, true, 0, sep), OneByOne(strings, true, sep));
  }
}

// A prefix at the end of one block and the text in the next one: the fast
// path leaves it to the general path, which reads it whole.
TEST_F(StringElementTest, AStringSplitBetweenBlocksReadsWhole) {
  const Placed s = Place(0x5000, 10, 10, true);
  const Placed empty = Place(0x6000, 0, 0, true);
  const std::u16string expected = Expected(s, false) + u";" + Expected(empty, false) + u";";
  EXPECT_SAME_TEXT(OneByOne({s.bstr, empty.bstr}, false), expected);
  EXPECT_SAME_TEXT(AsCells({s.bstr, empty.bstr}, false), expected);
}

// A text that claims more than is there, a prefix that is not there, a
// pointer below any prefix: error 5. The elements before a failing one stay
// written, and nothing after them.
TEST_F(StringElementTest, StringsThatCannotBeReadRaise5) {
  const Placed good = Place(0x7004, 4, 4);
  const Placed cut = Place(0x8004, 12, 6);
  for (Address bad : {cut.bstr, Address{0x9004}, Address{2}}) {
    SCOPED_TRACE(bad);
    std::u16string text;
    StringElement::Memo memo;
    EXPECT_EQ(ErrorOf([&] { element_.Append(text, 0, bad, true, false, memo); }), kInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { AsCells({good.bstr, bad}, false); }), kInvalidArgument);
  }
  // A long string whose text the general path reads past the end of what is
  // there, after the text has grown to take it.
  const Placed long_cut = Place(0x10004, 40000, 30000);
  const uint32_t width = process_.memory().layout().pointer_size;
  for (Address bad : {cut.bstr, long_cut.bstr}) {
    std::vector<uint8_t> cells(2 * width);
    std::memcpy(&cells[0], &good.bstr, width);
    std::memcpy(&cells[width], &bad, width);
    std::u16string text = u"x";
    StringElement::Memo memo;
    EXPECT_EQ(ErrorOf([&] {
                element_.AppendCells(text, 0, cells.data(), 2, width, u";", true, false, memo);
              }),
              kInvalidArgument);
    EXPECT_SAME_TEXT(text, u"x" + Expected(good, false) + u";");
  }
}

// Two strings in one block, the second claiming 2 bytes more than the block
// holds: met after the first, its prefix is read from the cached block, and
// its text still not past the block's end.
TEST_F(StringElementTest, AStringPastTheEndOfACachedBlockRaises5) {
  const Placed first = Place(0xA004, 4, 4 + kBstrPrefix + 6);
  WriteUInt32(process_.memory(), 0xA00C - kBstrPrefix, 8);
  EXPECT_EQ(ErrorOf([&] { AsCells({first.bstr, 0xA00C}, false); }), kInvalidArgument);
  StringElement::Memo memo;
  std::u16string text;
  element_.Append(text, 0, first.bstr, true, false, memo);
  EXPECT_EQ(ErrorOf([&] { element_.Append(text, 0, 0xA00C, true, false, memo); }),
            kInvalidArgument);
}

// 14 before a text would take the report past a string's length, on either
// path, counting what the report held before.
TEST_F(StringElementTest, TextPastAStringsLengthRaises14) {
  const Placed s = Place(0x7004, 20, 20);
  std::u16string text;
  StringElement::Memo memo;
  EXPECT_EQ(ErrorOf([&] { element_.Append(text, kMaxStringChars - 9, s.bstr, true, false, memo); }),
            kOutOfStringSpace);
  EXPECT_EQ(ErrorOf([&] { AsCells({s.bstr}, false, kMaxStringChars - 9); }), kOutOfStringSpace);
  EXPECT_EQ(
      ErrorOf([&] { element_.Append(text, kMaxStringChars - 10, s.bstr, true, false, memo); }), 0);
}

// A run that reaches the limit partway: the elements that fit are written,
// and the first that does not raises 14, however much room was taken.
TEST_F(StringElementTest, ARunThatReachesAStringsLengthStopsAtTheElementPastIt) {
  const Placed s = Place(0x7004, 20, 20);
  const std::u16string one = Expected(s, false) + u";";
  const uint32_t width = process_.memory().layout().pointer_size;
  const std::vector<Address> strings(2000, s.bstr);
  std::vector<uint8_t> cells(strings.size() * width);
  for (size_t i = 0; i < strings.size(); ++i) std::memcpy(&cells[i * width], &s.bstr, width);
  for (size_t fit : {0u, 1u, 150u, 1000u}) {
    // Room for `fit` elements and the first ten characters of the next.
    const size_t before = kMaxStringChars - fit * one.size() - 9;
    std::u16string text;
    StringElement::Memo memo;
    EXPECT_EQ(ErrorOf([&] {
                element_.AppendCells(text, before, cells.data(), strings.size(), width, u";", true,
                                     false, memo);
              }),
              kOutOfStringSpace);
    EXPECT_EQ(text.size(), fit * one.size()) << fit;
  }
}

// A report that an element's address, length or separator took past a
// string's length raises 14 before the next string is read, as a walk in
// order checks after each element: not 5 for a next string that cannot be.
TEST_F(StringElementTest, ARunPastAStringsLengthRaises14BeforeReadingOn) {
  const Placed s = Place(0x7004, 20, 20);
  const size_t one = Expected(s, false).size() + 1;
  const Address unreadable = 0x10;
  std::vector<uint8_t> cells(8);
  std::memcpy(&cells[0], &s.bstr, 4);
  std::memcpy(&cells[4], &unreadable, 4);
  const auto most = static_cast<size_t>(kMaxStringChars);
  for (const auto& [before, error] :
       {std::pair{most - one + 1, kOutOfStringSpace}, std::pair{most - one, kInvalidArgument}}) {
    std::u16string text;
    StringElement::Memo memo;
    EXPECT_EQ(ErrorOf([&] {
                element_.AppendCells(text, before, cells.data(), 2, 4, u";", true, false, memo);
              }),
              error);
    EXPECT_EQ(text.size(), one);
  }
}

// Enough elements that the room for them is taken many times over.
TEST_F(StringElementTest, LongRunsOfCellsReadAsEachElementAlone) {
  std::vector<Placed> placed;
  for (uint32_t i = 0; i < 40; ++i) placed.push_back(Place(0x00C00004 + 0x200 * i, 2 * i, 2 * i));
  std::vector<Address> strings;
  for (uint32_t k = 0; k < 5000; ++k) strings.push_back(placed[(k * 7 + k / 3) % 40].bstr);
  EXPECT_SAME_TEXT(AsCells(strings, false), OneByOne(strings, false));
}

class StringElement64Test : public StringElementTest {
 protected:
  StringElement64Test() : StringElementTest(Platform::kWin64) {}
};

// Addresses of 64-bit processes, far past 32 bits, share their leading
// digits across a run of neighbours.
TEST_F(StringElement64Test, WideAddressesReadAlike) {
  std::vector<Placed> placed;
  for (uint64_t i = 0; i < 6; ++i) {
    placed.push_back(Place(0x7FF612340004 + 0x1000 * i, 4 + 2 * static_cast<uint32_t>(i), 16));
  }
  std::vector<Address> strings;
  std::u16string expected;
  for (const Placed& s : placed) {
    strings.push_back(s.bstr);
    expected += Expected(s, false) + u";";
  }
  EXPECT_SAME_TEXT(OneByOne(strings, false), expected);
  EXPECT_SAME_TEXT(AsCells(strings, false), expected);
}

}  // namespace
}  // namespace dudUdudADOD::sections
