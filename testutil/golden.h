// Golden-text comparison for tests: reports are compared byte for byte, and
// a mismatch prints both texts with CR, LF, tabs and trailing spaces made
// visible, line by line, with the first differing line marked.
#ifndef DUD_TESTUTIL_GOLDEN_H_
#define DUD_TESTUTIL_GOLDEN_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "automation/utf8.h"

namespace dudUdudADOD::testutil {

// "a b  \r\n" -> "a b··⏎" style: CR as <CR>, LF as <LF>, tab as <TAB>, and
// spaces at the end of a line as '·'.
inline std::string Visible(std::u16string_view text) {
  std::string utf8 = automation::ToUtf8(text);
  std::string out;
  size_t line_start = 0;
  for (size_t i = 0; i <= utf8.size(); ++i) {
    if (i == utf8.size() || utf8[i] == '\r' || utf8[i] == '\n') {
      std::string_view line(utf8.data() + line_start, i - line_start);
      size_t end = line.find_last_not_of(' ');
      end = end == std::string_view::npos ? 0 : end + 1;
      for (size_t k = 0; k < line.size(); ++k) {
        if (line[k] == '\t') {
          out += "<TAB>";
        } else if (k >= end) {
          out += "\xC2\xB7";  // middle dot
        } else {
          out += line[k];
        }
      }
      if (i < utf8.size()) {
        out += utf8[i] == '\r' ? "<CR>" : "<LF>\n";
      }
      line_start = i + 1;
    }
  }
  return out;
}

inline ::testing::AssertionResult SameText(std::u16string_view actual,
                                           std::u16string_view expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure()
         << "texts differ at character " << at << "\n--- expected ---\n"
         << Visible(expected) << "\n--- actual ---\n"
         << Visible(actual) << "\n";
}

inline std::u16string U16(std::string_view utf8) { return automation::FromUtf8(utf8); }

}  // namespace dudUdudADOD::testutil

#define EXPECT_SAME_TEXT(actual, expected) \
  EXPECT_TRUE(::dudUdudADOD::testutil::SameText((actual), (expected)))

#endif  // DUD_TESTUTIL_GOLDEN_H_
