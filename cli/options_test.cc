#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/script_error.h"

namespace dudUdudADOD::cli {
namespace {

struct FlagCase {
  const char* text;
  FlagWord word;
  std::optional<int32_t> value;
};

class FlagWords : public testing::TestWithParam<FlagCase> {};

TEST_P(FlagWords, Parse) {
  EXPECT_EQ(ParseFlagWord(GetParam().text, GetParam().word), GetParam().value) << GetParam().text;
}

constexpr FlagWord kVar = FlagWord::kVar;
constexpr FlagWord kVat = FlagWord::kVat;

INSTANTIATE_TEST_SUITE_P(
    Values, FlagWords,
    testing::Values(
        FlagCase{"31", kVar, 31}, FlagCase{"0", kVar, 0}, FlagCase{"-1", kVar, -1},
        FlagCase{"-2147483648", kVar, INT32_MIN}, FlagCase{"&H1F", kVar, 31},
        FlagCase{"&hFFFFFFFF", kVar, -1}, FlagCase{"varARG+varValues", kVar, 17},
        FlagCase{"VARARG + varvalues", kVar, 17}, FlagCase{"varALLINFO+16", kVar, 31},
        FlagCase{"varSA_Stru+varSA_Bounds", kVar, 12}, FlagCase{"varNOTHING", kVar, 0},
        FlagCase{"vatIndexed+vatLegend", kVat, 34}, FlagCase{"vatALLINFO", kVat, 63},
        FlagCase{"vatStdSep+&H20", kVat, 33},
        // Wrong
        FlagCase{"", kVar, std::nullopt}, FlagCase{"+", kVar, std::nullopt},
        FlagCase{"varARG+", kVar, std::nullopt}, FlagCase{"vatIndexed", kVar, std::nullopt},
        FlagCase{"varARG", kVat, std::nullopt}, FlagCase{"2147483648", kVar, std::nullopt},
        FlagCase{"&H100000000", kVar, std::nullopt}, FlagCase{"1.5", kVar, std::nullopt},
        FlagCase{"&H", kVar, std::nullopt}, FlagCase{"&H-1", kVar, std::nullopt},
        FlagCase{"0x1F", kVar, std::nullopt}, FlagCase{"varARGS", kVar, std::nullopt}));

struct AddressCase {
  const char* text;
  std::optional<automation::Address> value;
};

class Addresses : public testing::TestWithParam<AddressCase> {};

TEST_P(Addresses, Parse) { EXPECT_EQ(ParseAddress(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Values, Addresses,
    testing::Values(AddressCase{"0", 0u}, AddressCase{"1243024", 1243024u},
                    AddressCase{"4294967295", 4294967295u}, AddressCase{"-1", 4294967295u},
                    AddressCase{"-2147483648", 2147483648u}, AddressCase{"&H12F790", 1243024u},
                    AddressCase{"&hffffffff", 4294967295u}, AddressCase{"4294967296", std::nullopt},
                    AddressCase{"-2147483649", std::nullopt},
                    AddressCase{"&H1FFFFFFFF", std::nullopt}, AddressCase{"", std::nullopt},
                    AddressCase{"12ab", std::nullopt}, AddressCase{" 12", std::nullopt}));

Options Parse(std::vector<std::string> args) { return ParseOptions(args); }

TEST(ParseOptions, NothingGivenLeavesEverythingOmitted) {
  const Options o = Parse({});
  EXPECT_FALSE(o.var_flags || o.vat_flags || o.sep || o.debug || o.arg_at || o.script || o.file);
  EXPECT_FALSE(o.help || o.version);
}

TEST(ParseOptions, EveryOptionInBothSpellings) {
  const Options o = Parse({"--var-flags", "16", "--vat-flags=vatLegend", "--sep", "", "--debug",
                           "--arg-at", "&H100", "Dim x"});
  EXPECT_EQ(o.var_flags, 16);
  EXPECT_EQ(o.vat_flags, 32);
  EXPECT_EQ(o.sep, std::u16string());
  EXPECT_EQ(o.debug, true);
  EXPECT_EQ(o.arg_at, 256u);
  EXPECT_EQ(o.script, "Dim x");
}

TEST(ParseOptions, ValuesAreTakenVerbatim) {
  EXPECT_EQ(Parse({"--sep", "-\xC3\xA9-"}).sep, std::u16string(u"-\u00e9-"));
  const Options o = Parse({"--sep", "--debug"});
  EXPECT_EQ(o.sep, std::u16string(u"--debug"));
  EXPECT_FALSE(o.debug);
}

TEST(ParseOptions, FileAndDoubleDash) {
  EXPECT_EQ(Parse({"-f", "-"}).file, "-");
  EXPECT_EQ(Parse({"--file=s.bas"}).file, "s.bas");
  EXPECT_EQ(Parse({"--", "-5"}).script, "-5");
  EXPECT_EQ(Parse({"--", "--help"}).script, "--help");
  EXPECT_TRUE(Parse({"-h"}).help);
  EXPECT_TRUE(Parse({"--version"}).version);
}

struct UsageCase {
  std::vector<std::string> args;
  std::string message;
};

class BadCommandLines : public testing::TestWithParam<UsageCase> {};

TEST_P(BadCommandLines, SayWhatWasWrong) {
  try {
    ParseOptions(GetParam().args);
    FAIL();
  } catch (const UsageError& e) {
    EXPECT_EQ(std::string(e.what()), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, BadCommandLines,
    testing::Values(
        UsageCase{{"--var-flags", "bogus"},
                  "--var-flags: \"bogus\" is not a flag word: give a number (31, -1, &H1F) or "
                  "names joined by + (varNOTHING, varARG, varDef, varSA_Stru, varSA_Bounds, "
                  "varValues, varALLINFO)"},
        UsageCase{{"--vat-flags=varARG"},
                  "--vat-flags: \"varARG\" is not a flag word: give a number (31, -1, &H1F) or "
                  "names joined by + (vatNOTHING, vatStdSep, vatIndexed, vatCharASCII, "
                  "vatOrdinalPos, vatAddrLen, vatLegend, vatALLINFO)"},
        UsageCase{{"--arg-at", "4294967296"},
                  "--arg-at: \"4294967296\" is not an address: give 0 to 4294967295, "
                  "-2147483648 to -1, or &H hex"},
        UsageCase{{"--var-flags"}, "--var-flags needs a value (N)"},
        UsageCase{{"-f"}, "-f needs a value (FILE)"},
        UsageCase{{"--debug=1"}, "--debug takes no value"},
        UsageCase{{"--sep", "a", "--sep", "b"}, "--sep is given twice"},
        UsageCase{{"--colour"},
                  "unknown option \"--colour\" (see --help; a script that starts with \"-\" goes "
                  "after \"--\")"},
        UsageCase{{"-5"},
                  "unknown option \"-5\" (see --help; a script that starts with \"-\" goes after "
                  "\"--\")"},
        UsageCase{{"Dim x", "x = 5"},
                  "more than one script given (\"x = 5\"): put the whole script in one argument, "
                  "quoted"},
        UsageCase{{"-f", "a.bas", "Dim x"},
                  "give the script either as an argument or with -f FILE, not both"}));

TEST(UsageText, ListsEveryOptionMemberAndExitCode) {
  const std::string text = UsageText();
  for (const char* part :
       {"Usage: ravoduze", "--var-flags N", "--vat-flags N", "--sep TEXT", "--debug",
        "--arg-at ADDR", "-f, --file FILE", "-h, --help", "--version", "varSA_Bounds",
        "vatOrdinalPos", "Examples:", "Exit status: 0", "1 a run-time error", "2 a script error",
        "3 the host failed", "-i, --interactive", "ravoduze -i"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
