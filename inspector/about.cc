#include "inspector/about.h"

#include <array>

#include "automation/text_forms.h"
#include "inspector/version_info.h"

namespace dudUdudADOD::inspector {

namespace {

constexpr std::u16string_view kLineBreak = u"\r\n";

constexpr std::u16string_view kAuthorCredit = u"Written by the RavoDUZE team";
constexpr std::array<std::u16string_view, 2> kDisclaimer = {
    u"This software is provided as is, without warranty of any kind.", u"Use it at your own risk."};

// One line of the usage text: its indentation in tabs and its words.
struct HelpLine {
  int tabs;
  std::u16string_view text;
};

// The "Declaration:" and "Function   :" lines hold one tab between their two
// parts; every other tab is indentation.
constexpr std::array<HelpLine, 28> kUsage = {{
    {0, u"Declaration:\tDim vxi As New RavoDUZE"},
    {0, u"Function   :\tPrint vxi.HELP"},
    {3, u"=> Print this help"},
    {0, u"Function   :\tPrint vxi.About"},
    {3, u"=> Print the DLL's About string"},
    {0, u""},
    {0,
     u"Function   :\tPrint vxi.RavoDUZE(variable,[DebugF],[varFlags], [vatFlags], "
     u"[Separator])"},
    {3, u"=> Print the INFO of Any Type Variable. Parameters are:"},
    {2, u"variable = any type of variable to show the info of"},
    {2, u"DebugF   = True/False to print output in the Debug window"},
    {2, u"varFlags = info to get about the VARIANT (Enum varINFO). Any combination of"},
    {3, u"varNOTHING   : ( 0) Print Nothing"},
    {3, u"varARG       : ( 1) Print Variant ARG Structure"},
    {3, u"varDef       : ( 2) Print Variant Definition"},
    {3, u"varSA_Stru   : ( 4) Print SAFEARRAY Structure (if any)"},
    {3, u"varSA_Bounds : ( 8) Print SAFEARRAY Structure with Array Bounds (if any)"},
    {3, u"varValues    : (16) Print Value(s)"},
    {3, u"varALLINFO   : (31) Print all above info"},
    {2, u"vatFlags = info to get about the VARIABLE (Enum vatINFO). Any combination of"},
    {3, u"vatNOTHING   : ( 0) Print nothing"},
    {3, u"vatStdSep    : ( 1) Print using Standard Separator (one space)"},
    {3, u"vatIndexed   : ( 2) Print Arrays with Indexes"},
    {3, u"vatCharASCII : ( 4) Print Byte Array with ASCII characters"},
    {3, u"vatOrdinalPos: ( 8) Print Array Elements's Ordinal Position"},
    {3, u"vatAddrLen   : (16) Print Adress & Len for String(s)"},
    {3, u"vatLegend    : (32) Print lines' legend"},
    {3, u"vatALLINFO   : (63) Print all above info"},
    {2, u"Saparator= custom separator (if present, superseeds vatStdSep)"},
}};

void AppendLine(std::u16string& out, std::u16string_view line) {
  out.append(line);
  out.append(kLineBreak);
}

}  // namespace

std::u16string VersionString(int16_t major, int16_t minor, int16_t revision) {
  std::u16string text;
  automation::AppendInteger(text, major);
  text += u'.';
  automation::AppendInteger(text, minor);
  automation::AppendInteger(text, revision);
  return text;
}

std::u16string VersionString() {
  return VersionString(kVersionInfo.major, kVersionInfo.minor, kVersionInfo.revision);
}

std::u16string AboutText() {
  return AboutText({kVersionInfo.major, kVersionInfo.minor, kVersionInfo.revision,
                    std::u16string(kVersionInfo.comments)});
}

std::u16string AboutText(const automation::LibraryVersion& version) {
  std::u16string text;
  AppendLine(text, version.comments);
  AppendLine(text, kAuthorCredit);
  AppendLine(text, u"ver. " + VersionString(version.major, version.minor, version.revision));
  for (std::u16string_view line : kDisclaimer) AppendLine(text, line);
  return text;
}

std::u16string HelpText(std::u16string_view about) {
  std::u16string text(about);
  text.append(kLineBreak);  // an empty line after the About text
  for (const HelpLine& line : kUsage) {
    text.append(static_cast<size_t>(line.tabs), u'\t');
    AppendLine(text, line.text);
  }
  return text;
}

}  // namespace dudUdudADOD::inspector
