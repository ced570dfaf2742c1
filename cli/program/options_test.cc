#include "cli/program/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/script/script_error.h"
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

TEST(ParseAddress, UnsignedSignedOrHexOfThePointersWidth) {
  const automation::Layout& w32 = automation::kWin32Layout;
  const automation::Layout& w64 = automation::kWin64Layout;
  const struct {
    const char* text;
    const automation::Layout& layout;
    std::optional<automation::Address> value;
  } cases[] = {
      {"4294967295", w32, 4294967295u},
      {"-1", w32, 4294967295u},
      {"-2147483648", w32, 2147483648u},
      {"&H12F790", w32, 1243024u},
      {"&hffffffff", w32, 4294967295u},
      {"4294967296", w32, std::nullopt},
      {"-2147483649", w32, std::nullopt},
      {"&H1FFFFFFFF", w32, std::nullopt},
      {"", w32, std::nullopt},
      {"12ab", w32, std::nullopt},
      {" 12", w32, std::nullopt},
      {"+12", w32, std::nullopt},
      {"0x-1", w32, std::nullopt},
      {"0x12F790", w32, 1243024u},
      {"0X00140000", w32, 1310720u},
      {"0x100000000", w32, std::nullopt},
      // 64-bit: every address a report of that platform prints, and the same
      // bits as a negative number.
      {"0x100000000", w64, 0x100000000u},
      {"2085131386880", w64, 0x1E57B840000u},
      {"0x000001E57B840000", w64, 0x1E57B840000u},
      {"18446744073709551615", w64, UINT64_MAX},
      {"-1", w64, UINT64_MAX},
      {"-9223372036854775808", w64, 0x8000000000000000u},
      {"18446744073709551616", w64, std::nullopt},
      {"-9223372036854775809", w64, std::nullopt},
      {"0x10000000000000000", w64, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseAddress(c.text, c.layout), c.value) << c.text << " " << c.layout.pointer_size;
  }
}

Options Parse(std::vector<std::string> args) { return ParseOptions(args); }

TEST(ParseOptions, EveryOptionInBothSpellingsAndNothingUnasked) {
  const Options none = Parse({});
  EXPECT_FALSE(none.platform || none.var_flags || none.vat_flags || none.sep || none.debug ||
               none.arg_at || none.script || none.file || none.help || none.version);
  EXPECT_EQ(Parse({"--platform", "win64"}).platform, automation::Platform::kWin64);
  EXPECT_EQ(Parse({"--platform=win32"}).platform, automation::Platform::kWin32);
  // In any case, as flag words are read.
  EXPECT_EQ(Parse({"--platform", "WIN64"}).platform, automation::Platform::kWin64);
  EXPECT_EQ(Parse({"--platform=Win32"}).platform, automation::Platform::kWin32);
  const Options o = Parse({"--var-flags", "16", "--vat-flags=vatLegend", "--sep", "", "--debug",
                           "--arg-at", "&H100", "Dim x"});
  EXPECT_EQ(o.var_flags, 16);
  EXPECT_EQ(o.vat_flags, 32);
  EXPECT_EQ(o.sep, std::u16string());
  EXPECT_EQ(o.debug, true);
  EXPECT_EQ(o.arg_at, 256u);
  EXPECT_EQ(o.script, "Dim x");
}

// The platform may come before or after the address; a 32-bit process takes
// the address's low 32 bits when the rest only extends its sign.
TEST(ParseOptions, AddressesTakeThePlatformsWidthWhereverItIsNamed) {
  const struct {
    std::vector<std::string> args;
    automation::Address arg_at;
  } cases[] = {
      {{"--arg-at", "-1"}, 4294967295u},
      {{"--arg-at", "-1", "--platform", "win64"}, UINT64_MAX},
      {{"--platform", "win64", "--arg-at", "0xA73F6EE060"}, 0xA73F6EE060u},
      {{"--arg-at", "2085131386880", "--platform=win64"}, 0x1E57B840000u},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.args).arg_at, c.arg_at) << c.args[1];
  const Options dump = Parse({"--dump", "-8:16", "--platform", "win64"});
  ASSERT_TRUE(dump.dump);
  EXPECT_EQ(dump.dump->address, UINT64_MAX - 7);
  EXPECT_EQ(dump.dump->count, 16u);
  EXPECT_EQ(Parse({"--dump", "-8"}).dump->address, 4294967288u);
}

// --dump takes a variable by name, or "*" and a name for what its pointer
// leads to, with or without a count; the name is looked up after the run.
TEST(ParseOptions, DumpTakesAVariablesName) {
  const struct {
    std::string value;
    std::string name;
    bool follow;
    std::optional<uint32_t> count;
  } cases[] = {
      {"s", "s", false, std::nullopt},
      {"*s", "s", true, std::nullopt},
      {"*my_Var2:0x10", "my_Var2", true, 16},
      {"Total:3", "Total", false, 3},
  };
  for (const auto& c : cases) {
    const Options o = Parse({"--dump", c.value});
    ASSERT_TRUE(o.dump) << c.value;
    EXPECT_FALSE(o.dump->address) << c.value;
    EXPECT_EQ(o.dump->name, c.name);
    EXPECT_EQ(o.dump->follow, c.follow) << c.value;
    EXPECT_EQ(o.dump->count, c.count) << c.value;
  }
  EXPECT_EQ(testutil::ErrorTextOf([] {
              ParseOptions({{"--dump", "*"}});
            }),
            "--dump: \"*\" is no variable's name: give NAME or *NAME, as in s or *s");
  EXPECT_EQ(testutil::ErrorTextOf([] {
              ParseOptions({{"--dump", "s-1"}});
            }),
            "--dump: \"s-1\" is no variable's name: give NAME or *NAME, as in s or *s");
  EXPECT_EQ(testutil::ErrorTextOf([] {
              ParseOptions({{"--dump", "s:x"}});
            }),
            "--dump: \"x\" is not a byte count: give 1 to 1048576");
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
       "--arg-at: 4294967296 is past the addresses of a win32 process: give 0 to 4294967295, "
       "-2147483648 to -1, or hex (0x12F790); with --platform win64, a 64-bit address"},
      {{"--dump", "0x1E57B840000", "--platform", "win32"},
       "--dump: 2085131386880 is past the addresses of a win32 process: give 0 to 4294967295, "
       "-2147483648 to -1, or hex (0x12F790); with --platform win64, a 64-bit address"},
      {{"--platform", "win64", "--arg-at", "0x"},
       "--arg-at: \"0x\" is not an address: give 0 to 4294967295, -2147483648 to -1, or hex "
       "(0x12F790); with --platform win64, a 64-bit address"},
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
      {{"--svg", "-", "--json"},
       "--svg - and --json cannot go together: both would write to standard output"},
      {{"--footprint", "--svg=-"},
       "--svg - and --footprint cannot go together: both would write to standard output"},
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
            "ravoduze: --dump is for one script; in a session, :x ADDR or :x NAME dumps\n");
  EXPECT_EQ(testutil::RunCli({"--json", "--footprint"}).code, 2);
}

}  // namespace
}  // namespace dudUdudADOD::cli
