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
#include "testutil/cli.h"

namespace dudUdudADOD::cli {
namespace {

using testutil::CliResult;
using testutil::RunCli;

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

TEST(RunRavoduze, DefaultScriptIsALongHoldingFive) {
  const CliResult r = RunCli({});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, Direct("Dim x As Long = 5"));
  EXPECT_EQ(RunCli({"Dim x As Long = 5"}).out, r.out);
}

TEST(RunRavoduze, OptionsReachTheMainCall) {
  const struct {
    std::vector<std::string> args;
    std::string direct;  // the same report without the command line
  } cases[] = {
      {{"--var-flags", "0"}, Direct("Dim x As Long = 5", 0)},  // an empty report
      {{"--vat-flags", "vatIndexed+vatLegend", "--sep", ",", "Dim m(0 To 2, 1 To 4) As Integer"},
       Direct("Dim m(0 To 2, 1 To 4) As Integer", std::nullopt, 34, u",")},
      {{"--debug", "--sep", "", "Dim s As String = \"a\"\"b\""},
       Direct("Dim s As String = \"a\"\"b\"", std::nullopt, std::nullopt, u"")},
      {{"--var-flags", "&H1E", "Dim v = Array(1, \"two\", #1/2/2000#)"},
       Direct("Dim v = Array(1, \"two\", #1/2/2000#)", 30)},
      {{"--var-flags", "varARG", "RawVariant(3, 1, 2, 3, 5, 0)"},
       Direct("RawVariant(3, 1, 2, 3, 5, 0)", 1)},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, c.direct) << c.args.back();
  }
}

TEST(RunRavoduze, ArgAtMovesTheArgumentVariant) {
  const CliResult r = RunCli({"--var-flags", "1", "--arg-at", "&H10000000"});
  ASSERT_EQ(r.code, 0) << r.err;
  // The variant section's first row: the argument's address, then its type word.
  EXPECT_NE(r.out.find("\r\n268435456      vbType          268435456 "), std::string::npos);
}

// A report long enough to be gathered in many pieces, with characters outside
// the basic plane wherever the pieces happen to break, comes out whole: the
// pieces of an array's walk, and the one long piece of a single string,
// converted a slice at a time (a leading "x" moves the pairs across the
// slices' edges).
TEST(RunRavoduze, LongReportsComeOutWholeAcrossPieces) {
  const std::string smiley = "\xF0\x9F\x98\x80";
  std::string elements = "Dim s(1 To 40000) As String = {";
  for (int i = 0; i < 40000; ++i) elements += (i == 0 ? "\"" : ", \"") + smiley + "\"";
  elements += "}";
  std::string one_string;
  for (int i = 0; i < 200000; ++i) one_string += smiley;
  for (const std::string& script : {elements, "Dim t As String = \"" + one_string + "\"",
                                    "Dim t As String = \"x" + one_string + "\""}) {
    const CliResult r = RunCli({"--var-flags", "16", "--vat-flags", "16", script});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out == Direct(script, 16, 16)) << script.substr(0, 20);
  }
}

TEST(RunRavoduze, QuietFailuresPrintTheErrorAndNoReport) {
  const std::string directory = std::filesystem::temp_directory_path().string();
  const struct {
    std::vector<std::string> args;
    std::string exit;  // the exit code and what goes to standard error
  } cases[] = {
      {{"CInt(40000)"}, "1 Run-time error '6': Overflow\n"},
      {{"Dim x As Long = \"abc\""}, "1 Run-time error '13': Type mismatch\n"},
      {{"Dim a(1 To 600000000) As Double"}, "1 Run-time error '7': Out of memory\n"},
      // The inspector's own error: an array without storage has no element count.
      {{"--var-flags", "16", "Dim d() As Long"}, "1 Run-time error '6': Overflow\n"},
      {{"RawVariant(8, 0, 0, 0, 12, 0)"},
       "1 Run-time error '5': Invalid procedure call or argument\n"},
      {{"Dim x As Long\nDim y As Long At 1243024"},
       "2 <script>:2:18: error: cannot place \"y\" At 1243024 (4 bytes): that memory is in use or "
       "cannot hold a variable\n"
       " 2 | Dim y As Long At 1243024\n"
       "   |                  ^\n"},
      {{"--arg-at", "1243020"},
       "2 ravoduze: --arg-at 1243020: the 16-byte argument variant cannot go there: that memory "
       "is in use or cannot hold it\n"},
      {{"--arg-at", "268435456", "Dim v At 1000 = 5"},
       "2 ravoduze: --arg-at 268435456: the argument is the Variant \"v\" itself, which the "
       "script places At 1000\n"},
      {{"-f", "/nonexistent/script.bas"},
       "2 ravoduze: cannot open \"/nonexistent/script.bas\": No such file or directory\n"},
      {{"-f", directory}, "2 ravoduze: cannot read \"" + directory + "\": it is a directory\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--quiet");
    const CliResult r = RunCli(args);
    EXPECT_EQ(std::to_string(r.code) + " " + r.err, c.exit);
    EXPECT_EQ(r.out, "") << c.args.back();
  }
}

TEST(RunRavoduze, ScriptFromStandardInputOrAFile) {
  CliResult r = RunCli({"-f", "-"}, "Dim a(1 To 3) As Byte = _\n  {1, 2, 3}\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Direct("Dim a(1 To 3) As Byte = {1, 2, 3}"));
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "ravoduze_run_test.bas";
  std::ofstream(path, std::ios::binary) << "Dim s As String = \"abc\"\r\n";
  r = RunCli({"-f", path.string()});
  std::filesystem::remove(path);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Direct("Dim s As String = \"abc\""));
}

TEST(RunRavoduze, OversizedScriptIsRefused) {
  const CliResult r = RunCli({"-f", "-"}, std::string(kMaxScriptBytes + 1, ' '));
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "ravoduze: standard input is larger than 16 MiB\n");
  const CliResult fits = RunCli({"-f", "-"}, std::string(kMaxScriptBytes - 1, ' ') + "5");
  EXPECT_EQ(fits.code, 0) << fits.err;
}

TEST(RunRavoduze, OutputThatCannotBeWrittenIsAHostFailure) {
  testutil::FullDevice device;
  const CliResult r = RunCli({}, "", false, &device);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "ravoduze: cannot write the report\n");
}

TEST(RunRavoduze, HelpVersionAndTheComponentsTexts) {
  const CliResult help = RunCli({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("Usage: ravoduze", 0), 0u);
  EXPECT_EQ(RunCli({"-h"}).out, help.out);
  const CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "ravoduze 1.0.0.4\n");
  automation::Process process;
  RavoDUZE inspector(process);
  const CliResult about = RunCli({"--about"});
  EXPECT_EQ(about.code, 0);
  EXPECT_EQ(about.out, automation::ToUtf8(inspector.About()));
  const CliResult text = RunCli({"--help-text"});
  EXPECT_EQ(text.code, 0);
  EXPECT_EQ(text.out, automation::ToUtf8(inspector.HELP()));
  EXPECT_EQ(text.out.rfind(about.out + "\r\nDeclaration:\t", 0), 0u);
}

TEST(WriteUtf8, SurrogatePairsSurviveChunkEdges) {
  for (size_t offset : {0u, 65534u, 65535u, 65536u, 131071u}) {
    std::u16string text(offset, u'a');
    text += u"\U0001F600\u00e9";
    text += char16_t{0xD800};  // a lone surrogate at the very end
    std::ostringstream out;
    WriteUtf8(out, text);
    EXPECT_EQ(out.str(), automation::ToUtf8(text)) << offset;
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
