#include "inspector/about.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace dudUdudADOD::inspector
