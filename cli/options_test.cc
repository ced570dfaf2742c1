#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/script_error.h"
#include "testutil/cli.h"

namespace dudUdudADOD::cli {
namespace {

constexpr FlagWord kVar = FlagWord::kVar;
constexpr FlagWord kVat = FlagWord::kVat;

TEST(ParseFlagWord, NumbersAndMemberNamesJoinedByPlus) {
  const struct {
    const char* text;
    FlagWord word;
    int32_t value;
  } cases[] = {{"31", kVar, 31},
               {"-1", kVar, -1},
               {"-2147483648", kVar, INT32_MIN},
               {"&hFFFFFFFF", kVar, -1},
               {"VARARG + varvalues", kVar, 17},
               {"varALLINFO+16", kVar, 31},
               {"vatIndexed+vatLegend", kVat, 34},
               {"vatStdSep+&H20", kVat, 33},
               {"0x1F", kVar, 31},
               {"0XffffFFFF", kVar, -1}};
  for (const auto& c : cases) EXPECT_EQ(ParseFlagWord(c.text, c.word), c.value) << c.text;
  // Empty terms, the other word's names, out of range, not numbers.
  EXPECT_EQ(ParseFlagWord("varARG", kVat), std::nullopt);
  for (const char* text : {"", "varARG+", "vatIndexed", "2147483648", "&H100000000", "1.5", "&H",
                           "&H-1", "0x", "0x-1", "varARGS"}) {
    EXPECT_EQ(ParseFlagWord(text, kVar), std::nullopt) << text;
  }
}

TEST(ParseAddress, UnsignedSignedOrHex) {
  const struct {
    const char* text;
    std::optional<automation::Address> value;
  } cases[] = {
      {"4294967295", 4294967295u},   {"-1", 4294967295u},           {"-2147483648", 2147483648u},
      {"&H12F790", 1243024u},        {"&hffffffff", 4294967295u},   {"4294967296", std::nullopt},
      {"-2147483649", std::nullopt}, {"&H1FFFFFFFF", std::nullopt}, {"", std::nullopt},
      {"12ab", std::nullopt},        {" 12", std::nullopt},         {"0x12F790", 1243024u},
      {"0X00140000", 1310720u},      {"0x100000000", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(ParseAddress(c.text), c.value) << c.text;
}

Options Parse(std::vector<std::string> args) { return ParseOptions(args); }

TEST(ParseOptions, EveryOptionInBothSpellingsAndNothingUnasked) {
  const Options none = Parse({});
  EXPECT_FALSE(none.platform || none.var_flags || none.vat_flags || none.sep || none.debug ||
               none.arg_at || none.script || none.file || none.help || none.version);
  EXPECT_EQ(Parse({"--platform", "win64"}).platform, automation::Platform::kWin64);
  EXPECT_EQ(Parse({"--platform=win32"}).platform, automation::Platform::kWin32);
  const Options o = Parse({"--var-flags", "16", "--vat-flags=vatLegend", "--sep", "", "--debug",
                           "--arg-at", "&H100", "Dim x"});
  EXPECT_EQ(o.var_flags, 16);
  EXPECT_EQ(o.vat_flags, 32);
  EXPECT_EQ(o.sep, std::u16string());
  EXPECT_EQ(o.debug, true);
  EXPECT_EQ(o.arg_at, 256u);
  EXPECT_EQ(o.script, "Dim x");
}

TEST(ParseOptions, ValuesAreTakenVerbatimAndDoubleDashEndsTheOptions) {
  EXPECT_EQ(Parse({"--sep", "-\xC3\xA9-"}).sep, std::u16string(u"-\u00e9-"));
  const Options o = Parse({"--sep", "--debug"});
  EXPECT_EQ(o.sep, std::u16string(u"--debug"));
  EXPECT_FALSE(o.debug);
  EXPECT_EQ(Parse({"-f", "-"}).file, "-");
  EXPECT_EQ(Parse({"--file=s.bas"}).file, "s.bas");
  EXPECT_EQ(Parse({"--", "-5"}).script, "-5");
  EXPECT_EQ(Parse({"--", "--help"}).script, "--help");
}

TEST(ParseOptions, BadCommandLinesSayWhatWasWrong) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--var-flags", "bogus"},
       "--var-flags: \"bogus\" is not a flag word: give a number (31, -1, 0x1F) or names joined "
       "by + (varNOTHING, varARG, varDef, varSA_Stru, varSA_Bounds, varValues, varALLINFO)"},
      {{"--vat-flags=varARG"},
       "--vat-flags: \"varARG\" is not a flag word: give a number (31, -1, 0x1F) or names joined "
       "by + (vatNOTHING, vatStdSep, vatIndexed, vatCharASCII, vatOrdinalPos, vatAddrLen, "
       "vatLegend, vatALLINFO)"},
      {{"--arg-at", "4294967296"},
       "--arg-at: \"4294967296\" is not an address: give 0 to 4294967295, -2147483648 to -1, or "
       "hex (0x12F790)"},
      {{"--platform", "x64"}, "--platform: \"x64\" is not a platform: give win32 or win64"},
      {{"--platform", "win64", "--platform", "win64"}, "--platform is given twice"},
      {{"--var-flags"}, "--var-flags needs a value (N)"},
      {{"-f"}, "-f needs a value (FILE)"},
      {{"--debug=1"}, "--debug takes no value"},
      {{"--sep", "a", "--sep", "b"}, "--sep is given twice"},
      {{"-5"},
       "unknown option \"-5\" (see --help; a script that starts with \"-\" goes after \"--\")"},
      {{"Dim x", "x = 5"},
       "more than one script given (\"x = 5\"): put the whole script in one argument, quoted"},
      {{"-f", "a.bas", "Dim x"}, "give the script either as an argument or with -f FILE, not both"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testutil::ErrorTextOf([&] { ParseOptions(c.args); }), c.message);
  }
}

// Outputs that exclude each other are refused by name, in either order,
// rather than one of them being dropped.
TEST(ParseOptions, OutputsThatCannotGoTogether) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--json", "--footprint"},
       "--json and --footprint cannot go together: the JSON document holds the footprint"},
      {{"-i", "--json"},
       "-i and --json cannot go together: a session prints text reports (? NAME)"},
      {{"--footprint", "-i"},
       "-i and --footprint cannot go together: a session prints text reports (? NAME)"},
      {{"-i", "--svg", "a.svg"},
       "-i and --svg cannot go together: a session prints text reports (? NAME)"},
      {{"--dump", "0x140000", "--json"},
       "--dump and --json cannot go together: --dump prints memory instead of any report"},
      {{"--svg", "a.svg", "--dump", "0x140000"},
       "--dump and --svg cannot go together: --dump prints memory instead of any report"},
      {{"--dump", "0x140000", "--footprint"},
       "--dump and --footprint cannot go together: --dump prints memory instead of any report"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testutil::ErrorTextOf([&] { ParseOptions(c.args); }), c.message) << c.args[0];
  }
  // What can go together still does.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--json", "--svg", "a.svg"},
                                             {"--footprint", "--svg", "a.svg"},
                                             {"-i", "-f", "a.bas"}}) {
    EXPECT_EQ(testutil::ErrorTextOf([&] { ParseOptions(args); }), "no error") << args[0];
  }
  // A session's own refusal of --dump keeps its text.
  EXPECT_EQ(testutil::RunCli({"-i", "--dump", "0"}).err,
            "ravoduze: --dump is for one script; in a session, :x ADDR dumps\n");
  EXPECT_EQ(testutil::RunCli({"--json", "--footprint"}).code, 2);
}

}  // namespace
}  // namespace dudUdudADOD::cli
