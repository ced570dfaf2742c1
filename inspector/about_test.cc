#include "inspector/about.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "inspector/version_info.h"
#include "testutil/golden.h"

namespace dudUdudADOD::inspector {
namespace {

using testutil::U16;

const char kAboutGolden[] =
    "RavoDUZE (Ravo Duze) ActiveX DLL\r\n"
    "Written by the RavoDUZE team\r\n"
    "ver. 1.04\r\n"
    "This software is provided as is, without warranty of any kind.\r\n"
    "Use it at your own risk.\r\n";

const char kUsageGolden[] =
    "Declaration:\tDim vxi As New RavoDUZE\r\n"
    "Function   :\tPrint vxi.HELP\r\n"
    "\t\t\t=> Print this help\r\n"
    "Function   :\tPrint vxi.About\r\n"
    "\t\t\t=> Print the DLL's About string\r\n"
    "\r\n"
    "Function   :\tPrint vxi.RavoDUZE(variable,[DebugF],[varFlags], [vatFlags], [Separator])\r\n"
    "\t\t\t=> Print the INFO of Any Type Variable. Parameters are:\r\n"
    "\t\tvariable = any type of variable to show the info of\r\n"
    "\t\tDebugF   = True/False to print output in the Debug window\r\n"
    "\t\tvarFlags = info to get about the VARIANT (Enum varINFO). Any combination of\r\n"
    "\t\t\tvarNOTHING   : ( 0) Print Nothing\r\n"
    "\t\t\tvarARG       : ( 1) Print Variant ARG Structure\r\n"
    "\t\t\tvarDef       : ( 2) Print Variant Definition\r\n"
    "\t\t\tvarSA_Stru   : ( 4) Print SAFEARRAY Structure (if any)\r\n"
    "\t\t\tvarSA_Bounds : ( 8) Print SAFEARRAY Structure with Array Bounds (if any)\r\n"
    "\t\t\tvarValues    : (16) Print Value(s)\r\n"
    "\t\t\tvarALLINFO   : (31) Print all above info\r\n"
    "\t\tvatFlags = info to get about the VARIABLE (Enum vatINFO). Any combination of\r\n"
    "\t\t\tvatNOTHING   : ( 0) Print nothing\r\n"
    "\t\t\tvatStdSep    : ( 1) Print using Standard Separator (one space)\r\n"
    "\t\t\tvatIndexed   : ( 2) Print Arrays with Indexes\r\n"
    "\t\t\tvatCharASCII : ( 4) Print Byte Array with ASCII characters\r\n"
    "\t\t\tvatOrdinalPos: ( 8) Print Array Elements's Ordinal Position\r\n"
    "\t\t\tvatAddrLen   : (16) Print Adress & Len for String(s)\r\n"
    "\t\t\tvatLegend    : (32) Print lines' legend\r\n"
    "\t\t\tvatALLINFO   : (63) Print all above info\r\n"
    "\t\tSaparator= custom separator (if present, superseeds vatStdSep)\r\n";

TEST(About, VersionStringHasNoSeparatorBetweenMinorAndRevision) {
  EXPECT_SAME_TEXT(VersionString(), u"1.04");
  EXPECT_SAME_TEXT(VersionString(1, 0, 4), u"1.04");
  EXPECT_SAME_TEXT(VersionString(2, 1, 15), u"2.115");
  EXPECT_SAME_TEXT(VersionString(10, 0, 0), u"10.00");
}

TEST(About, FiveLinesEachEndedByLineBreak) {
  EXPECT_SAME_TEXT(AboutText(), U16(kAboutGolden));
  EXPECT_TRUE(AboutText().starts_with(kVersionInfo.comments));
}

TEST(About, HelpIsAboutThenEmptyLineThenUsage) {
  const std::u16string about = AboutText();
  EXPECT_SAME_TEXT(HelpText(about), about + u"\r\n" + U16(kUsageGolden));
  // HELP passes on whatever its class's About returns.
  EXPECT_SAME_TEXT(HelpText(u"X\r\n"), u"X\r\n\r\n" + U16(kUsageGolden));
}

TEST(About, UsageLinesStartWithTheirTabsAndNoSpace) {
  const int kTabs[28] = {0, 0, 3, 0, 3, 0, 0, 3, 2, 2, 2, 3, 3, 3,
                         3, 3, 3, 3, 2, 3, 3, 3, 3, 3, 3, 3, 3, 2};
  const std::u16string usage = HelpText(u"").substr(2);
  size_t start = 0;
  for (int i = 0; i < 28; ++i) {
    const size_t end = usage.find(u"\r\n", start);
    ASSERT_NE(end, std::u16string::npos) << "line " << i + 1;
    const std::u16string line = usage.substr(start, end - start);
    const size_t text = std::min(line.find_first_not_of(u'\t'), line.size());
    EXPECT_EQ(text, static_cast<size_t>(kTabs[i])) << "line " << i + 1;
    EXPECT_TRUE(line.empty() || (line[text] != u' ' && line.back() != u' ')) << "line " << i + 1;
    start = end + 2;
  }
  EXPECT_EQ(start, usage.size());  // the last line ends with CR LF
}

}  // namespace
}  // namespace dudUdudADOD::inspector
