#include "cli/run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "automation/utf8.h"
#include "cli/interpreter.h"
#include "cli/parser.h"
#include "inspector/ravoduze.h"

namespace dudUdudADOD::cli {
namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

Result RunCli(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunRavoduze(args, in, out, err);
  return {code, out.str(), err.str()};
}

// The report of the same script made without the command line.
std::string Direct(std::string_view script, std::optional<int32_t> var_flags = std::nullopt,
                   std::optional<int32_t> vat_flags = std::nullopt,
                   std::optional<std::u16string> sep = std::nullopt) {
  automation::Process process;
  Interpreter interpreter(process);
  const automation::Address arg = interpreter.Run(ParseScript(script));
  RavoDUZE inspector(process);
  return automation::ToUtf8(inspector(arg, std::nullopt, var_flags, vat_flags, sep));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(RunRavoduze, DefaultScriptIsALongHoldingFive) {
  const Result r = RunCli({});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(r.out.empty());
  EXPECT_EQ(r.out, Direct("Dim x As Long = 5"));
  EXPECT_EQ(RunCli({"Dim x As Long = 5"}).out, r.out);
}

TEST(RunRavoduze, ValuesHeaderShowsWhereTheVariableLies) {
  EXPECT_TRUE(StartsWith(RunCli({"--var-flags", "varValues"}).out,
                         "\r\n/// VALUE ///\r\n1 element, 4 bytes in memory, Entry = 1243024\r\n"));
  EXPECT_TRUE(StartsWith(RunCli({"--var-flags=16", "Dim m(0 To 2, 1 To 4) As Integer"}).out,
                         "\r\n/// VALUES ///\r\n12 elements, 24 bytes in memory, Entry = "));
  EXPECT_TRUE(StartsWith(RunCli({"--var-flags", "16", "Dim e(0 To -1) As Byte"}).out,
                         "\r\n/// VALUES ///\r\n0 elements, 0 bytes in memory, Entry = "));
}

TEST(RunRavoduze, NoSectionsGiveAnEmptyReport) {
  const Result r = RunCli({"--var-flags", "0"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
}

struct SameCase {
  std::vector<std::string> args;
  std::string script;
  std::optional<int32_t> var_flags = std::nullopt;
  std::optional<int32_t> vat_flags = std::nullopt;
  std::optional<std::u16string> sep = std::nullopt;
};

class MatchesTheMainCall : public testing::TestWithParam<SameCase> {};

TEST_P(MatchesTheMainCall, ByteForByte) {
  const SameCase& c = GetParam();
  const Result r = RunCli(c.args);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Direct(c.script, c.var_flags, c.vat_flags, c.sep));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, MatchesTheMainCall,
    testing::Values(SameCase{{"Dim a(1 To 3) As Byte = {72, 105, 33}"},
                             "Dim a(1 To 3) As Byte = {72, 105, 33}"},
                    SameCase{{"--vat-flags", "vatIndexed+vatLegend", "--sep", ",",
                              "Dim m(0 To 2, 1 To 4) As Integer"},
                             "Dim m(0 To 2, 1 To 4) As Integer",
                             std::nullopt,
                             34,
                             u","},
                    SameCase{{"--debug", "--sep", "", "Dim s As String = \"a\"\"b\""},
                             "Dim s As String = \"a\"\"b\"",
                             std::nullopt,
                             std::nullopt,
                             u""},
                    SameCase{{"--var-flags", "&H1E", "Dim v = Array(1, \"two\", #1/2/2000#)"},
                             "Dim v = Array(1, \"two\", #1/2/2000#)",
                             30},
                    SameCase{{"Dim o As Object\nSet o = New Foo(\"x\")"},
                             "Dim o As Object\nSet o = New Foo(\"x\")"},
                    SameCase{{"--var-flags", "varARG", "RawVariant(3, 1, 2, 3, 5, 0)"},
                             "RawVariant(3, 1, 2, 3, 5, 0)",
                             1},
                    SameCase{{"Dim d() As Long; ReDim d(1 To 4)"},
                             "Dim d() As Long; ReDim d(1 To 4)"}));

TEST(RunRavoduze, ReportIsUtf8ByteForByte) {
  const std::string text = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // é € and an emoji
  const Result r =
      RunCli({"--var-flags", "16", "--vat-flags", "0", "Dim s As String = \"" + text + "\""});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find(text), std::string::npos);
  EXPECT_NE(r.out.find("\r\n"), std::string::npos);
}

TEST(RunRavoduze, ArgAtMovesTheArgumentVariant) {
  const Result r = RunCli({"--var-flags", "1", "--arg-at", "&H10000000"});
  ASSERT_EQ(r.code, 0) << r.err;
  // The variant section's first row: the argument's address, then its type word.
  EXPECT_NE(r.out.find("\r\n268435456      vbType          268435456 "), std::string::npos);
}

struct FailCase {
  std::vector<std::string> args;
  int code;
  std::string err;
};

class Failures : public testing::TestWithParam<FailCase> {};

TEST_P(Failures, PrintOneLineAndNoReport) {
  const Result r = RunCli(GetParam().args);
  EXPECT_EQ(r.code, GetParam().code);
  EXPECT_EQ(r.err, GetParam().err);
  EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Exits, Failures,
    testing::Values(
        FailCase{{"CInt(40000)"}, 1, "Run-time error '6': Overflow\n"},
        FailCase{{"Dim x As Long = \"abc\""}, 1, "Run-time error '13': Type mismatch\n"},
        FailCase{{"Dim a(1 To 600000000) As Double"}, 1, "Run-time error '7': Out of memory\n"},
        // The inspector's own error: an array without storage has no element count.
        FailCase{{"--var-flags", "16", "Dim d() As Long"}, 1, "Run-time error '6': Overflow\n"},
        FailCase{{"RawVariant(8, 0, 0, 0, 12, 0)"},
                 1,
                 "Run-time error '5': Invalid procedure call or argument\n"},
        FailCase{{"Dim a(1 3) As Byte"},
                 2,
                 "script:1:9: error: expected \"To\", \",\" or \")\" after the lower bound, found "
                 "\"3\"\n"},
        FailCase{{"Dim x As Long\nDim y As Long At 1243024"},
                 2,
                 "script:2:18: error: cannot place \"y\" At 1243024 (4 bytes): that memory is "
                 "in use or cannot hold a variable\n"},
        FailCase{{"--vat-flags", "vatBogus"},
                 2,
                 "ravoduze: --vat-flags: \"vatBogus\" is not a flag word: give a number (31, -1, "
                 "&H1F) or names joined by + (vatNOTHING, vatStdSep, vatIndexed, vatCharASCII, "
                 "vatOrdinalPos, vatAddrLen, vatLegend, vatALLINFO)\n"},
        FailCase{{"--arg-at", "1243020"},
                 2,
                 "ravoduze: --arg-at 1243020: the 16-byte argument variant cannot go there: that "
                 "memory is in use or cannot hold it\n"},
        FailCase{{"--arg-at", "268435456", "Dim v At 1000 = 5"},
                 2,
                 "ravoduze: --arg-at 268435456: the argument is the Variant \"v\" itself, which "
                 "the script places At 1000\n"}));

TEST(RunRavoduze, HelpAndVersion) {
  const Result help = RunCli({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(StartsWith(help.out, "Usage: ravoduze"));
  EXPECT_EQ(RunCli({"-h"}).out, help.out);
  const Result version = RunCli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "ravoduze 1.0.0.4\n");
}

TEST(RunRavoduze, ComponentTextsByteForByte) {
  automation::Process process;
  RavoDUZE inspector(process);
  const Result about = RunCli({"--about"});
  EXPECT_EQ(about.code, 0);
  EXPECT_EQ(about.out, automation::ToUtf8(inspector.About()));
  const Result help = RunCli({"--help-text"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out, automation::ToUtf8(inspector.HELP()));
  EXPECT_TRUE(StartsWith(help.out, about.out + "\r\nDeclaration:\t"));
}

// A report long enough to be gathered in many pieces, with characters outside
// the basic plane wherever the pieces happen to break, comes out whole.
TEST(RunRavoduze, LongReportsComeOutWholeAcrossPieces) {
  std::string script = "Dim s(1 To 40000) As String = {";
  for (int i = 0; i < 40000; ++i)
    script += i == 0 ? "\"\xF0\x9F\x98\x80\"" : ", \"\xF0\x9F\x98\x80\"";
  script += "}";
  const Result r = RunCli({"--var-flags", "16", "--vat-flags", "16", script});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Direct(script, 16, 16));
}

TEST(RunRavoduze, ScriptFromStandardInput) {
  const Result r = RunCli({"-f", "-"}, "Dim a(1 To 3) As Byte = _\n  {1, 2, 3}\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Direct("Dim a(1 To 3) As Byte = {1, 2, 3}"));
}

TEST(RunRavoduze, ScriptFromAFile) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "ravoduze_run_test.bas";
  std::ofstream(path, std::ios::binary) << "Dim s As String = \"abc\"\r\n";
  const Result r = RunCli({"-f", path.string()});
  std::filesystem::remove(path);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Direct("Dim s As String = \"abc\""));
}

TEST(RunRavoduze, UnreadableFilesAreUsageErrors) {
  const Result missing = RunCli({"-f", "/nonexistent/script.bas"});
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.err,
            "ravoduze: cannot open \"/nonexistent/script.bas\": No such file or directory\n");
  const Result directory = RunCli({"-f", std::filesystem::temp_directory_path().string()});
  EXPECT_EQ(directory.code, 2);
  EXPECT_TRUE(StartsWith(directory.err, "ravoduze: cannot read ")) << directory.err;
}

TEST(RunRavoduze, OversizedScriptIsRefused) {
  const Result r = RunCli({"-f", "-"}, std::string(kMaxScriptBytes + 1, ' '));
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "ravoduze: standard input is larger than 16 MiB\n");
  const Result fits = RunCli({"-f", "-"}, std::string(kMaxScriptBytes - 2, ' ') + "5");
  EXPECT_EQ(fits.code, 0) << fits.err;
}

// A stream that refuses every byte.
class FullDevice : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(RunRavoduze, OutputThatCannotBeWrittenIsAHostFailure) {
  FullDevice device;
  std::ostream out(&device);
  std::istringstream in;
  std::ostringstream err;
  const std::vector<std::string> args;
  EXPECT_EQ(RunRavoduze(args, in, out, err), 3);
  EXPECT_EQ(err.str(), "ravoduze: cannot write the report\n");
}

class Utf8Chunks : public testing::TestWithParam<size_t> {};

TEST_P(Utf8Chunks, SurrogatePairsSurviveChunkEdges) {
  std::u16string text(GetParam(), u'a');
  text += u"\U0001F600\u00e9";
  text += char16_t{0xD800};  // a lone surrogate at the very end
  std::ostringstream out;
  WriteUtf8(out, text);
  EXPECT_EQ(out.str(), automation::ToUtf8(text));
}

INSTANTIATE_TEST_SUITE_P(Offsets, Utf8Chunks, testing::Values(0u, 65534u, 65535u, 65536u, 131071u));

}  // namespace
}  // namespace dudUdudADOD::cli
