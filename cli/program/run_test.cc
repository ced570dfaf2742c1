#include "cli/program/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "automation/utf8.h"
#include "cli/script/interpreter.h"
#include "cli/script/parser.h"
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

// LongPtr is the platform's: a Long array on win32, a LongLong array on
// win64, where LongLong itself exists too.
TEST(RunRavoduze, LongPtrFollowsThePlatform) {
  const std::string script = "Dim p(1 To 2) As LongPtr = {1, -2}";
  const std::string heading =
      "\r\n/// VARIABLE ///" + std::string(112, ' ') +
      "\r\nType           Array           Address         FAR_REF         LenB    Value           "
      "Bytes\r\n";
  const CliResult win32 = RunCli({"--platform", "win32", "--var-flags", "varDef+varValues",
                                  "--vat-flags", "vatIndexed", script});
  EXPECT_EQ(win32.out, heading +
                           "Long()         True            1243024         True            8       "
                           "***             ***\r\n\r\n\r\n/// VALUES ///\r\n2 elements, 8 bytes "
                           "in memory, Entry = 1536000\r\n[1]1 [2]-2 \r\n");
  const CliResult win64 = RunCli({"--platform", "win64", "--var-flags", "varDef+varValues",
                                  "--vat-flags", "vatIndexed", script});
  EXPECT_EQ(win64.out, heading +
                           "LongLong()     True            718323769480    True            16      "
                           "***             ***\r\n\r\n\r\n/// VALUES ///\r\n2 elements, 16 bytes "
                           "in memory, Entry = 2085131612160\r\n[1]1 [2]-2 \r\n");
  EXPECT_EQ(RunCli({"--platform", "win64", "Dim n As LongLong"}).code, 0);
  const CliResult refused = RunCli({"Dim n As LongLong"});
  EXPECT_EQ(refused.code, 2);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("LongLong needs a 64-bit platform (--platform win64)"),
            std::string::npos)
      << refused.err;
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

// After a run-time error, a hint names the step that raised it and the flags
// that print the rest; the report itself is never touched by hints.
TEST(RunRavoduze, HintsExplainFailuresOnStandardError) {
  const struct {
    std::vector<std::string> args;
    std::string hint;  // the line after the error
  } cases[] = {
      {{"Dim o As Object"},
       "ravoduze: hint: -k prints every section that can be printed, and one line for each that "
       "fails\n"
       "ravoduze: hint: the error comes from the values section (varValues); --var-flags 3 "
       "leaves it out and prints the rest\n"},
      // Every section fails: no --var-flags to offer, but the variant's own bytes.
      {{"Dim v = Null"},
       "ravoduze: hint: -k prints every section that can be printed, and one line for each that "
       "fails\n"
       "ravoduze: hint: the error comes from the variant argument section (varARG), the variable "
       "section (varDef) and the values section (varValues)\n"
       "ravoduze: hint: --dump 1243012:16 shows the argument variant's 16 bytes (its type word 1 "
       "= vbNull (1)); --svg FILE draws the value's memory\n"},
      {{"Dim a(1 To 2) As Long = {1000, 2}"},
       "ravoduze: hint: -k prints every section that can be printed, and one line for each that "
       "fails\n"
       "ravoduze: hint: the error comes from the values section (varValues); it comes from "
       "vatCharASCII, which takes every element for a character code: --vat-flags 59 prints the "
       "numbers; --var-flags 15 leaves it out and prints the rest\n"},
      // One section asked for: -k would change nothing.
      {{"--var-flags", "varValues", "RawVariant(8195, 0, 0, 0, 4096, 0)"},
       "ravoduze: hint: the error comes before any section, from the snapshot of the array "
       "descriptor, which every report takes\n"
       "ravoduze: hint: --dump 1242984:16 shows the argument variant's 16 bytes (its type word "
       "8195 = vbLong (3) + vbArray (8192)); --svg FILE draws the value's memory\n"},
      {{"Dim x As Integer = 40000"},
       "<script>:1:20: note: the script raised it here\n"
       " 1 | Dim x As Integer = 40000\n"
       "   |                    ^\n"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), c.hint) << c.args.back();
  }
  const CliResult beeps = RunCli({"--var-flags", "16", "Dim a(1 To 3) As Long = {7, 8, 9}"});
  EXPECT_EQ(beeps.code, 0);
  EXPECT_EQ(beeps.out, Direct("Dim a(1 To 3) As Long = {7, 8, 9}", 16));
  EXPECT_EQ(beeps.err,
            "ravoduze: note: vatCharASCII printed the elements of this Long() array as characters "
            "(a Byte array's switch applies to it too); --vat-flags 59 prints the numbers\n");
  EXPECT_EQ(RunCli({"-q", "--var-flags", "16", "Dim a(1 To 3) As Long"}).err, "");
  EXPECT_EQ(RunCli({"--var-flags", "16", "Dim a(1 To 3) As Byte"}).err, "");
}

TEST(RunRavoduze, ScriptFromAPipeOrDashAndErrorsNamedByTheirSource) {
  const std::string script = "Dim b As Byte = 200";
  EXPECT_EQ(RunCli({}, script).out, Direct(script));  // piped, no script given
  EXPECT_EQ(RunCli({"-"}, script).out, Direct(script));
  EXPECT_EQ(RunCli({}, script, true).out, Direct("Dim x As Long = 5"));  // a terminal
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "ravoduze_bad.bas";
  std::ofstream(path, std::ios::binary) << "Dim x As Long\r\n\tDim y As Lng\n";
  const struct {
    std::vector<std::string> args;
    std::string input;
    std::string err;
  } cases[] = {
      {{"-f", path.string()},
       "",
       path.string() + ":2:11: error: unknown type \"Lng\" (did you mean \"Long\"?)\n"
                       " 2 | \tDim y As Lng\n"
                       "   | \t         ^\n"},
      {{"-"},
       "x = 1 + 2",
       "<stdin>:1:7: error: the operator \"+\" is not supported: a script has no arithmetic, "
       "comparisons or logic; & joins values as text\n"
       " 1 | x = 1 + 2\n"
       "   |       ^\n"},
      {{"Dim s As String = \"\xC3\xA9\xC3\xA9\" x"},
       "",
       "<script>:1:24: error: expected end of statement, found \"x\"\n"
       " 1 | Dim s As String = \"\xC3\xA9\xC3\xA9\" x\n"
       "   |                        ^\n"},
      {{"Dim s As"},
       "",
       "<script>:1:9: error: expected a type after \"As\" (Integer, Long, LongLong, LongPtr, "
       "Single, Double, Currency, Date, String, Boolean, Byte, Variant or Object), found end of "
       "script\n"
       " 1 | Dim s As\n"
       "   |         ^\n"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args, c.input);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, c.err);
  }
  std::filesystem::remove(path);
}

TEST(RunRavoduze, LineEndsForPipesAndTerminals) {
  const std::string script = "Dim s As String = \"y\"";
  const std::string exact = Direct(script, 16);
  ASSERT_NE(exact.back(), '\n');
  EXPECT_EQ(RunCli({"--var-flags", "16", script}).out, exact);
  EXPECT_EQ(RunCli({"--var-flags", "16", script}, "", true).out, exact + "\n");
  const auto lf = [](std::string text) {
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
    return text;
  };
  EXPECT_EQ(RunCli({"--lf"}).out, lf(Direct("Dim x As Long = 5")));
  // The pieces of a long report may split a CR LF; a lone CR stays.
  const std::string many = "Dim a(1 To 70000) As Byte";
  for (const char* sep : {"\r\n", "\r", "\r\r\n"}) {
    const CliResult r = RunCli({"--lf", "--sep", sep, "--vat-flags", "0", many});
    EXPECT_TRUE(r.out == lf(Direct(many, std::nullopt, 0, automation::FromUtf8(sep))));
  }
}

// Rows of 16 that fit 80 columns, ending as the report's lines do; the
// title gives the start in decimal and hex, unmapped bytes show as "--".
TEST(RunRavoduze, DumpShowsMemoryInsteadOfAReport) {
  const CliResult r = RunCli({"--dump", "0x140000:20", "Dim s As String = \"abc\""});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "20 bytes at 1310720 (0x00140000)\r\n"
            "   address  0  1  2  3  4  5  6  7   8  9 10 11 12 13 14 15  characters\r\n"
            "   1310720 06 00 00 00 61 00 62 00  63 00 00 00 00 00 00 00  ....a.b.c.......\r\n"
            "   1310736 -- -- -- --\r\n");
  EXPECT_EQ(RunCli({"--lf", "--dump", "0x140000:4", "Dim s As String = \"abc\""}).out,
            "4 bytes at 1310720 (0x00140000)\n"
            "   address  0  1  2  3  4  5  6  7   8  9 10 11 12 13 14 15  characters\n"
            "   1310720 06 00 00 00                                       ....\n");
  EXPECT_EQ(RunCli({"--dump", "1243024:0"}).err,
            "ravoduze: --dump: \"0\" is not a byte count: give 1 to 1048576\n");
}

// A 64-bit process's addresses lie above 4 GiB: the dump reaches the string
// the report points at, still within 80 columns, and stops at the top of
// the address's width.
TEST(RunRavoduze, DumpReachesEveryAddressOfA64BitProcess) {
  const CliResult r = RunCli(
      {"--lf", "--platform", "win64", "--dump", "0x1E57B840000:8", "Dim s As String = \"abc\""});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "8 bytes at 2085131386880 (0x000001E57B840000)\n"
            "      address  0  1  2  3  4  5  6  7   8  9 10 11 12 13 14 15  characters\n"
            "2085131386880 06 00 00 00 61 00 62 00                           ....a.b.\n");
  const CliResult top = RunCli({"--lf", "--platform", "win64", "--dump", "-4", "Dim x"});
  EXPECT_EQ(top.code, 0) << top.err;
  EXPECT_EQ(top.out,
            "4 bytes at 18446744073709551612 (0xFFFFFFFFFFFFFFFC)\n"
            "             address  0  1  2  3  4  5  6  7   8  9 10 11 12 13 14 15  characters\n"
            "18446744073709551612 -- -- -- --\n");
}

TEST(RunRavoduze, EveryOutputThatFailsExitsThree) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"--version"}, {"--about"}, {"--dump", "0"}}) {
    testutil::FullDevice device;
    const CliResult r = RunCli(args, "", false, &device);
    EXPECT_EQ(r.code, 3) << args[0];
    EXPECT_EQ(r.err.rfind("ravoduze: cannot write the ", 0), 0u) << r.err;
  }
}

// Long words at chosen addresses: "Dim w0 As Long At A = V0: ...".
std::string LongsAt(automation::Address at, const std::vector<int64_t>& words) {
  std::string script;
  for (size_t k = 0; k < words.size(); ++k) {
    script += "Dim w" + std::to_string(at + 4 * k) + " As Long At " + std::to_string(at + 4 * k) +
              " = " + std::to_string(words[k]) + ": ";
  }
  return script;
}

// A String array of one element laid out by hand at 0x300000 (descriptor),
// 0x300100 (data, holding `element`) and 0x300200 (the array variable).
std::string OneStringArray(int64_t element) {
  return LongsAt(0x300100, {element}) + LongsAt(0x300000, {16777217, 4, 0, 0x300100, 1, 1}) +
         LongsAt(0x300200, {0x300000}) + "RawVariant(24584, 0, 0, 0, &H300200, 0)";
}

// The picture reads more than a report without values does; what it cannot
// read ends the picture, never the report.
TEST(RunRavoduze, ThePictureNeverStopsTheReport) {
  const std::string script = OneStringArray(12);
  const std::string svg = testing::TempDir() + "ravoduze_stopped.svg";
  const CliResult r = RunCli({"--var-flags", "15", "--svg", svg, script});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Direct(script, 15));
  EXPECT_EQ(r.err,
            "ravoduze: note: the picture stops at the string at 8, which raised run-time "
            "error 5\n");
  std::ifstream file(svg);
  const std::string picture((std::istreambuf_iterator<char>(file)), {});
  EXPECT_NE(picture.find("stopped: run-time error 5 reading the string at 8"), std::string::npos);
  EXPECT_NE(picture.find("descriptor at 3145728"), std::string::npos) << "what came before";
  // A report that fails still leaves the picture, and says so after its error.
  const CliResult failed = RunCli({"--svg", svg, script});
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.err.rfind("Run-time error '5'", 0), 0u) << failed.err;
  EXPECT_NE(failed.err.find("ravoduze: note: the picture stops"), std::string::npos);
  EXPECT_TRUE(RunCli({"-q", "--var-flags", "15", "--svg", svg, script}).err.empty());
  std::filesystem::remove(svg);
}

// --svg - writes the picture alone to standard output, a whole document a
// viewer or a pipe takes; its descriptor box names the fields as the
// report's table does.
TEST(RunRavoduze, ThePictureGoesToStandardOutputAloneAndSpeaksTheReportsNames) {
  const std::string script = "Dim a(1 To 2, 0 To 1) As Long";
  const CliResult r = RunCli({"--svg", "-", script});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u)
      << r.out.substr(0, 80);
  EXPECT_TRUE(r.out.ends_with("</svg>\n")) << r.out.substr(r.out.size() - 20);
  EXPECT_EQ(r.out.find("/// "), std::string::npos) << "no report beside the picture";
  const std::string report = RunCli({script}).out;
  for (const char* field :
       {".cDims", ".fFeaures", ".cbArrElemSize", ".cLock", ".pvData", "cElements", "lBound"}) {
    EXPECT_NE(r.out.find(std::string(field) + " "), std::string::npos) << field;
    EXPECT_NE(report.find(std::string(field) + " "), std::string::npos) << field;
  }
  EXPECT_EQ(RunCli({"--svg", "-", "--json", script}).code, 2);
}

// Words a user of other tools types: the platform in any case, and a file
// FileBytes cannot read refused with the system's reason.
TEST(RunRavoduze, PlatformInAnyCaseAndFileBytesSaysWhy) {
  const CliResult wide =
      RunCli({"--platform", "WIN64", "--var-flags", "varDef", "Dim p As LongPtr"});
  EXPECT_EQ(wide.code, 0) << wide.err;
  EXPECT_EQ(wide.out,
            RunCli({"--platform", "win64", "--var-flags", "varDef", "Dim p As LongPtr"}).out);
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {"/nonexistent/nope.bin", "cannot open \"/nonexistent/nope.bin\": No such file or directory"},
      {"/", "cannot read \"/\": it is a directory; FileBytes reads a regular file"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli({"Dim b() As Byte = FileBytes(\"" + c.path + "\")"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("error: " + c.reason + "\n"), std::string::npos) << r.err;
  }
}

// The help reads whole in a terminal of 80 columns: no line wider, none of
// blanks alone, no line that ends in a blank.
TEST(RunRavoduze, TheHelpFitsEightyColumns) {
  std::istringstream help(RunCli({"--help"}).out);
  for (std::string line; std::getline(help, line);) {
    EXPECT_LE(line.size(), 80u) << line;
    EXPECT_FALSE(line.ends_with(" ")) << "[" << line << "]";
  }
}

// One reading of memory: a string whose prefix claims 2 GiB that is not
// there fails the report, the twin and the footprint alike.
TEST(RunRavoduze, EveryOutputFailsOnAStringThatIsNotThere) {
  const std::string script =
      LongsAt(0x300000, {2147483638, 6553665}) + "RawVariant(8, 0, 0, 0, &H300004, 0)";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {script}, {"--json", script}, {"--footprint", script}}) {
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.code, 1) << args[0];
    EXPECT_EQ(r.err.rfind("Run-time error '5': Invalid procedure call or argument\n", 0), 0u)
        << args[0] << ": " << r.err;
  }
}

// A descriptor at 4 whose features claim 16 bytes before it: no address of
// the twin is negative, the picture's hex is whole.
TEST(RunRavoduze, AddressesNearZeroStayUnsignedAndWhole) {
  const std::string script = LongsAt(4, {8388609, 4, 0, 0, 0, 0}) + LongsAt(0x300000, {4}) +
                             "RawVariant(24579, 0, 0, 0, &H300000, 0)";
  const CliResult json = RunCli({"--json", script});
  EXPECT_EQ(json.code, 0) << json.err;
  for (const char* member : {"\"address\":-", "\"parent\":-"}) {
    EXPECT_EQ(json.out.find(member), std::string::npos) << json.out;
  }
  EXPECT_NE(json.out.find("{\"kind\":\"descriptor\",\"address\":4,\"address_hex\":\"0x00000004\","
                          "\"size\":24,"),
            std::string::npos)
      << json.out;
  const std::string svg = testing::TempDir() + "ravoduze_near_zero.svg";
  EXPECT_EQ(RunCli({"--var-flags", "0", "--svg", svg, script}).code, 0);
  std::ifstream file(svg);
  const std::string picture((std::istreambuf_iterator<char>(file)), {});
  EXPECT_NE(picture.find("descriptor at 4 (0x00000004), 24 bytes"), std::string::npos);
  std::filesystem::remove(svg);
}

// An element of a Variant array that holds an array, passed by reference:
// the same report, but for the argument, as a copy of it in a variable.
TEST(RunRavoduze, AVariantElementHoldingAnArrayIsReadThroughItsOwnVariant) {
  const std::string setup = "Dim d(1 To 2): d(1) = Array(1, \"x\"): ";
  EXPECT_EQ(RunCli({"--var-flags", "0", setup + "d(1)"}).code, 0);
  for (const char* flags : {"varSA_Stru+varSA_Bounds+varValues", "varDef"}) {
    const CliResult element = RunCli({"--var-flags", flags, setup + "d(1)"});
    const CliResult copy = RunCli({"--var-flags", flags, setup + "Dim w: w = d(1): w"});
    EXPECT_EQ(element.code, 0) << element.err;
    EXPECT_EQ(copy.code, 0) << copy.err;
    if (std::string(flags) != "varDef") {
      // The copy's data lies elsewhere: its values are the same.
      EXPECT_EQ(element.out.substr(element.out.find("Legend")),
                copy.out.substr(copy.out.find("Legend")));
    }
  }
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
