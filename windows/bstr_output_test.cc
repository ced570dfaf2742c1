#include "windows/bstr_output.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace dudUdudADOD::windows {
namespace {

// Pieces of these lengths, each told ahead (before it) by `hints[i]` when not
// 0: the string handed back is the pieces joined, of exactly their length,
// whether the hints were short, exact, long or missing.
struct Case {
  const char* name;
  std::vector<size_t> pieces;
  std::vector<uint64_t> hints;
};

const Case kCases[] = {
    {"nothing", {}, {}},
    {"one piece, no hint", {5}, {}},
    {"pieces grow the string by half again", {100, 300, 1000, 70000, 3}, {}},
    {"an exact hint", {10, 200000, 2}, {0, 200002}},
    {"a short hint", {10, 200000, 2}, {0, 150000}},
    {"a long hint, room given back", {10, 1000, 2}, {0, 900000}},
    {"a hint before anything", {60000, 60000}, {120000}},
};

class BstrOutputTest : public testing::TestWithParam<Case> {};

TEST_P(BstrOutputTest, HandsBackThePiecesJoinedAtTheirLength) {
  const Case& c = GetParam();
  BstrOutput output;
  std::u16string expected;
  for (size_t i = 0; i < c.pieces.size(); ++i) {
    if (i < c.hints.size() && c.hints[i] != 0) output.Expect(c.hints[i]);
    std::u16string piece(c.pieces[i], static_cast<char16_t>(u'a' + i));
    expected += piece;
    output.Take(piece);
    EXPECT_TRUE(piece.empty());
  }
  EXPECT_EQ(output.length(), expected.size());
  BSTR text = output.Release();
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(SysStringLen(text), expected.size());
  EXPECT_EQ(text[expected.size()], 0);
  EXPECT_TRUE(std::u16string(reinterpret_cast<const char16_t*>(text), expected.size()) == expected);
  SysFreeString(text);
  EXPECT_EQ(output.length(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Pieces, BstrOutputTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& param) {
                           std::string name;
                           for (const char* p = param.param.name; *p != 0; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

// Room handed out is filled by the caller in place, between pieces, also
// where it makes the string grow.
TEST(BstrOutputRoomTest, RoomFilledInPlaceJoinsThePieces) {
  BstrOutput output;
  std::u16string piece = u"ab";
  output.Take(piece);
  char16_t* room = output.Extend(100000);
  for (size_t i = 0; i < 100000; ++i) room[i] = static_cast<char16_t>(u'c' + i % 3);
  piece = u"f";
  output.Take(piece);
  BSTR text = output.Release();
  ASSERT_EQ(SysStringLen(text), 100003u);
  EXPECT_EQ(text[0], u'a');
  EXPECT_EQ(text[2], u'c');
  EXPECT_EQ(text[100001], u'c');  // the room's last, 99999 % 3 == 0
  EXPECT_EQ(text[100002], u'f');
  EXPECT_EQ(text[100003], 0);
  SysFreeString(text);
}

// A string not handed over is freed with the output (the leak checker of a
// debug runtime would see it; here it must simply not fault).
TEST(BstrOutputLifeTest, AStringNotReleasedIsFreed) {
  BstrOutput output;
  std::u16string piece(1000, u'x');
  output.Take(piece);
}

}  // namespace
}  // namespace dudUdudADOD::windows
