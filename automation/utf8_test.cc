// UTF-16 <-> UTF-8: what goes out as a report and comes in as a script.
#include "automation/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace dudUdudADOD::automation {
namespace {

TEST(Utf8Test, EncodesEveryWidthAndReplacesLoneSurrogates) {
  const struct {
    std::u16string text;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"A\r\n", "A\r\n"},
      {u"\u00e9", "\xC3\xA9"},
      {u"\u20ac", "\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::u16string(1, char16_t{0xD800}) + u"x", "\xEF\xBF\xBDx"},
      {u"x" + std::u16string(1, char16_t{0xDC00}), "x\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToUtf8(c.text), c.utf8);
}

// Blocks of ASCII are narrowed sixteen units at a time: other characters at
// every position of a block, and runs of nothing but them, come out right.
TEST(Utf8Test, MixedTextAtEveryOffsetRoundTrips) {
  for (size_t at = 0; at < 40; ++at) {
    std::u16string text(40, u'a');
    // Just past ASCII, in the low byte alone, and in the high byte alone.
    const char16_t odd[] = {u'\u0080', u'\u00e9', u'\u0100', u'\u7f00'};
    text[at] = odd[at % 4];
    text += std::u16string(100, u'\u20ac') + u"\U0001F600" + std::u16string(17, u'z');
    std::string appended = "prefix";
    AppendUtf8(appended, text);
    EXPECT_EQ(appended, "prefix" + ToUtf8(text));
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text) << at;
  }
}

TEST(Utf8Test, MalformedInputBecomesReplacementCharacters) {
  const struct {
    std::string utf8;
    std::u16string text;
  } cases[] = {
      {"\xFF", u"\uFFFD"},                      // never a lead byte
      {"\xC3", u"\uFFFD"},                      // cut off by the end
      {"\xC3(", u"\uFFFD("},                    // a lead without its continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf8(c.utf8), c.text);
}

}  // namespace
}  // namespace dudUdudADOD::automation
