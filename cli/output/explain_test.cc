// --explain as a user runs it: the lines after the report, golden, and the
// decoding of type words and descriptor features that the JSON shares.
#include "cli/output/explain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil/cli.h"

namespace dudUdudADOD::cli {
namespace {

using testutil::CliResult;
using testutil::RunCli;

TEST(Explain, TypeWordsAndFeaturesByTheirParts) {
  const struct {
    uint16_t word;
    std::string text;
  } words[] = {
      {16387, "vbLong (3) + by reference (16384)"},
      {3, "vbLong (3)"},
      {0, "vbEmpty (0)"},
      {8204, "vbVariant (12) + vbArray (8192)"},
      {24584, "vbString (8) + vbArray (8192) + by reference (16384)"},
      {16404, "vbLongLong (20) + by reference (16384)"},
      {99, "type 99 (99)"},
      {0x9001, "vbNull (1) + bit 4096 (4096) + bit 32768 (32768)"},
  };
  for (const auto& w : words) EXPECT_EQ(TypeWordText(w.word), w.text) << w.word;
  const struct {
    uint16_t features;
    std::string text;
  } features[] = {
      {0, "none"},
      {128, "FADF_HAVEVARTYPE (128)"},
      {384, "FADF_HAVEVARTYPE (128) + FADF_BSTR (256)"},
      {0x8011, "FADF_AUTO (1) + FADF_FIXEDSIZE (16) + bit 32768 (32768)"},
  };
  for (const auto& f : features) EXPECT_EQ(FeaturesText(f.features), f.text) << f.features;
}

// What follows the report on standard output.
std::string Explained(std::vector<std::string> args) {
  args.insert(args.begin(), "--explain");
  const CliResult r = RunCli(args);
  const size_t at = r.out.find("--- explained ---");
  EXPECT_NE(at, std::string::npos) << r.out << r.err;
  return at == std::string::npos ? "" : r.out.substr(at);
}

TEST(Explain, ByReferenceLongAndTwoDimensionalArray) {
  EXPECT_EQ(Explained({"Dim x As Long = 5"}),
            "--- explained ---\r\n"
            "vbType          16387 = vbLong (3) + by reference (16384)\r\n"
            "Pointer         1243024 = 0x0012F790: the start of the variable (Long, 4 bytes)\r\n");
  EXPECT_EQ(Explained({"--lf", "Dim m(1 To 2, 0 To 2) As Integer"}),
            "--- explained ---\n"
            "vbType          24578 = vbInteger (2) + vbArray (8192) + by reference (16384)\n"
            "Pointer         1243024 = 0x0012F790: the start of the variable (Integer(), 4 "
            "bytes)\n"
            "Integer()       the cell at 1243024 = 0x0012F790 holds 1310736 = 0x00140010: the "
            "start of the descriptor (32 bytes)\n"
            "Entry           1242400 = 0x0012F520: the call's copy of the descriptor at 1310736 = "
            "0x00140010, on the call's stack\n"
            ".fFeaures       128 = FADF_HAVEVARTYPE (128)\n"
            ".pvData         1536000 = 0x00177000: the start of the data (12 bytes)\n"
            "Bound 0         dimension 2 of 2 as declared: 0 To 2, 3 elements; the record keeps "
            "the last declared first\n"
            "Bound 1         dimension 1 of 2 as declared: 1 To 2, 2 elements\n");
}

TEST(Explain, StringsDatesValuesAndFailedSections) {
  const struct {
    std::vector<std::string> args;
    std::string explained;  // the lines after the marker
  } cases[] = {
      // A String's text, after its length prefix; the report's last line
      // does not end, so the marker starts a line of its own.
      {{"--lf", "--var-flags", "varDef+varValues", "Dim s As String = \"ab\""},
       "String          the cell at 1243024 = 0x0012F790 holds 1310724 = 0x00140004: the text of "
       "the string at 1310720 = 0x00140000, after its length prefix (4 bytes of text)\n"},
      {{"--lf", "--var-flags", "varDef", "Dim d As Date = #12/31/9999 11:59:59 PM#"},
       "Date            the value 12/31/9999 11:59:59 PM; its 8 bytes 233 158 255 255 64 146 70 "
       "65 hold the Double 2958465.999988426, days since 12/30/1899\n"},
      {{"--lf", "--var-flags", "varARG", "Dim v As Variant = 5"},
       "vbType          2 = vbInteger (2)\n"
       "Value           the value itself, held in the variant: no pointer\n"},
      {{"--lf", "--var-flags", "varDef", "Dim o As Object"},
       "Nothing         the cell at 1243024 = 0x0012F790 holds 0 = 0x00000000: no address (a "
       "null pointer)\n"},
      {{"--lf", "-k", "-q", "--var-flags", "varARG", "Dim v As Variant"},
       "vbType          0 = vbEmpty (0) (read from memory: the section failed)\n"},
  };
  for (const auto& c : cases) {
    const std::string text = Explained(c.args);
    EXPECT_EQ(text, "--- explained ---\n" + c.explained) << c.args.back();
  }
  const CliResult string = RunCli({"--explain", "--var-flags", "varValues", "Dim s As String"});
  EXPECT_NE(string.out.find("\r\n--- explained ---\r\n"), std::string::npos) << string.out;
}

TEST(Explain, SixtyFourBitAddressesInSixteenHexDigits) {
  EXPECT_EQ(Explained({"--lf", "--platform", "win64", "--var-flags", "varSA_Stru",
                       "Dim a(1 To 2) As String"}),
            "--- explained ---\n"
            "Entry           718323768816 = 0x000000A73F6EDDF0: the call's copy of the descriptor "
            "at 2085131386896 = 0x000001E57B840010, on the call's stack\n"
            ".fFeaures       384 = FADF_HAVEVARTYPE (128) + FADF_BSTR (256)\n"
            ".pvData         2085131612160 = 0x000001E57B877000: the start of the data (16 "
            "bytes)\n");
}

TEST(Explain, TheJsonTwinNamesThePlatformTheVariableAndTheTypeWord) {
  const CliResult r = RunCli({"--json", "--platform", "win64", "Dim x As Long = 5"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("\"version\":1,\"platform\":\"win64\",\"name\":\"x\",\"variant\":{"
                       "\"type_word\":{\"value\":16387,\"base\":3,\"base_name\":\"vbLong\","
                       "\"array\":false,\"by_reference\":true,\"text\":\"vbLong (3) + by "
                       "reference (16384)\"},"),
            std::string::npos)
      << r.out;
  // A temporary value has no name.
  const CliResult temporary = RunCli({"--json", "CInt(4)"});
  EXPECT_EQ(temporary.out.find("\"name\""), std::string::npos);
  EXPECT_NE(temporary.out.find("\"platform\":\"win32\",\"variant\":{\"type_word\":{\"value\":2,"),
            std::string::npos)
      << temporary.out;
}

}  // namespace
}  // namespace dudUdudADOD::cli
