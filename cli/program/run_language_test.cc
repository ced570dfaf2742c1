// ravoduze run as a user runs it, for the forms that developers bring from
// the language scripts come from: & joins text, Debug.Print prints before
// the report, String * N passes through a temporary String, a list in braces
// goes on over lines in -i, and what a script does not have says so by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/program/run.h"
#include "testutil/cli.h"

namespace dudUdudADOD::cli {
namespace {

using testutil::CliResult;
using testutil::RunCli;

// The value section alone, as --var-flags varValues --vat-flags vatNOTHING
// prints it: its summary line's end, then the value.
std::string ValueSection(const std::string& summary, const std::string& value) {
  return "\r\n/// VALUE ///\r\n1 element, " + summary + "\r\n" + value + "\r\n";
}

TEST(ScriptLanguage, TheFormsOfTheLanguageRunAsTheyRead) {
  const std::vector<std::string> values = {"--var-flags", "varValues", "--vat-flags", "vatNOTHING"};
  const auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), values.begin(), values.end());
    return more;
  };
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    std::string err = "";
  } cases[] = {
      {"& joins texts into a String", with({"Dim n As Long = 7: \"n=\" & n & Null & True"}),
       ValueSection("14 bytes in memory, Entry = 1310724", "n=7True")},
      {"a script that only prints prints",
       {"Debug.Print \"a\" & \"b\"; 1, -2"},
       "ab 1          -2 \r\n"},
      {"prints come before the report", with({"Dim x As Long = 5: Debug.Print \"x =\"; x"}),
       "x = 5 \r\n" + ValueSection("4 bytes in memory, Entry = 1243024", "5")},
      {"a line left open ends before the report", with({"Debug.Print 1;: CInt(2)"}),
       " 1 \r\n" + ValueSection("2 bytes in memory, Entry = 2", "2")},
      {"--lf ends printed lines as it ends the report's",
       {"--lf", "Debug.Print 1: Debug.Print"},
       " 1 \n\n"},
      {"beside JSON, prints go to standard error, ended by LF",
       {"--json", "--var-flags", "0", "Debug.Print \"hi\": CInt(2)"},
       "{\"format\":\"ravoduze-facts\"",
       "hi\n"},
      {"the JSON names the variable that a print follows",
       {"--json", "--var-flags", "0", "Dim x As Long: Debug.Print x"},
       "{\"format\":\"ravoduze-facts\",\"version\":1,\"platform\":\"win32\",\"name\":\"x\",",
       " 0 \n"},
      {"beside a picture on standard output too",
       {"--svg", "-", "Debug.Print \"hi\": CInt(2)"},
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
       "hi\n"},
      {"String * N holds N characters, cut or filled with spaces",
       with({"Dim s As String * 6 = \"abc\": Dim t As String * 2 = \"xyz\": s & t"}),
       ValueSection("16 bytes in memory, Entry = 1310724", "abc   xy")},
      {"String * N passes a temporary String by reference",
       {"--var-flags", "varARG", "Dim s As String * 6 = \"abc\""},
       "/// VARIANT_ARG STRUCTURE ///" + std::string(99, ' ') +
           "\r\n"
           "Entry          Variable        Address         Type            LenB    Value           "
           "Bytes\r\n"
           "1242968        vbType          1242968         Integer         2       16392           "
           "8 64 \r\n"
           "               Reserved        1242970         Integer         2       0               "
           "0 0 \r\n"
           "               Reserved        1242972         Integer         2       0               "
           "0 0 \r\n"
           "               Reserved        1242974         Integer         2       0               "
           "0 0 \r\n"
           "               Pointer         1242976         Union           4       1243012         "
           "132 247 18 0 \r\n\r\n"},
      {"a function's name the script lacks may name a variable", with({"Dim Len As Long = 3: Len"}),
       ValueSection("4 bytes in memory, Entry = 1243024", "3")},
      {"Option Explicit is what a script does anyway", with({"Option Explicit\nDim x As Long = 3"}),
       ValueSection("4 bytes in memory, Entry = 1243024", "3")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.code, 0) << r.err;
    const bool document = c.args[0] == "--json" || c.args[0] == "--svg";  // its start only
    EXPECT_EQ(r.out.substr(0, document ? c.out.size() : std::string::npos), c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(ScriptLanguage, WhatAScriptDoesNotHaveIsNamed) {
  const std::string in_order =
      "a script runs each statement once, in order: it has no conditions, loops or jumps";
  const struct {
    std::string script;
    std::string err;
  } cases[] = {
      {"For i = 1 To 3", "<script>:1:1: error: \"For\" is not supported: " + in_order + "\n" +
                             " 1 | For i = 1 To 3\n   | ^\n"},
      {"Dim x As Long: x = x * 2",
       "<script>:1:22: error: the operator \"*\" is not supported: a script has no arithmetic, "
       "comparisons or logic; & joins values as text\n"
       " 1 | Dim x As Long: x = x * 2\n   |                      ^\n"},
      {"MsgBox \"hi\"",
       "<script>:1:1: error: \"MsgBox\" is not supported: a script has no windows; Debug.Print "
       "VALUE prints a value\n"
       " 1 | MsgBox \"hi\"\n   | ^\n"},
      {"Dim n = Len(\"abc\")",
       "<script>:1:9: error: \"Len\" is not supported: a script's functions are the conversions "
       "(CLng, CStr, ...), Array, RawVariant and FileBytes\n"
       " 1 | Dim n = Len(\"abc\")\n   |         ^\n"},
      {"Dim t = Now",
       "<script>:1:9: error: \"Now\" is not supported: a script's functions are the conversions "
       "(CLng, CStr, ...), Array, RawVariant and FileBytes\n"
       " 1 | Dim t = Now\n   |         ^\n"},
      {"Debug.Assert False",
       "<script>:1:7: error: \"Debug.Assert\" is not supported: Debug.Print is\n"
       " 1 | Debug.Assert False\n   |       ^\n"},
      // Printing aside, a script with nothing to inspect is still an error.
      {"' nothing",
       "<script>:1:10: error: nothing to inspect: the script has no statements\n"
       " 1 | ' nothing\n   |          ^\n"},
      {"Dim a(3) As String * 5",
       "<script>:1:20: error: arrays of fixed-length strings are not supported: declare the "
       "array As String, or one String * N variable\n"
       " 1 | Dim a(3) As String * 5\n   |                    ^\n"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli({c.script});
    EXPECT_EQ(r.code, 2) << c.script;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

// A fixed-length String's characters lie in the variable: a dump by name
// shows them, and there is no pointer to follow.
TEST(ScriptLanguage, ADumpByNameShowsAFixedLengthStringsCharacters) {
  const std::string script = "Dim code As String * 6 = \"AB12\"";
  CliResult r = RunCli({"--dump", "code", script});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "code (String * 6: its characters): 12 bytes at 1243016 (0x0012F788)\r\n"
            "   address  0  1  2  3  4  5  6  7   8  9 10 11 12 13 14 15  characters\r\n"
            "   1243016 41 00 42 00 31 00 32 00  20 00 20 00              A.B.1.2. . .\r\n");
  r = RunCli({"--dump", "*code", script});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err,
            "ravoduze: --dump: \"*code\": nothing to follow: code is a String * 6, whose "
            "characters lie in it, with no pointer (--dump code shows them)\n");
}

// A piped session: a list goes on over lines until its "}", prints come
// out where they are asked for, and a list the input leaves open is an
// error at its "{" (the line numbers count every input line).
TEST(ScriptLanguage, ASessionReadsAListOverLinesAndPrints) {
  const CliResult r = RunCli({"-i", "--var-flags", "varValues", "--vat-flags", "vatNOTHING"},
                             "Dim a(1 To 3) As Long = {1,\n"
                             "    2, ' the second\n"
                             "    3}\n"
                             "Debug.Print a(2); a(3);\n"
                             "? a\n"
                             "Dim b(1) As Long = {\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out,
            " 2  3 \r\n"
            "\r\n/// VALUES ///\r\n3 elements, 12 bytes in memory, Entry = 1536000\r\n1 2 3 \r\n");
  EXPECT_EQ(r.err,
            "<stdin>:6:20: error: the list of values in braces is not closed: the input ended "
            "before its \"}\"\n"
            " 6 | Dim b(1) As Long = {\n"
            "   |                    ^\n");
}

// At a terminal, the lines that go on a list are asked for with "... ".
TEST(ScriptLanguage, ASessionAtATerminalAsksForTheRestOfAList) {
  const CliResult r = RunCli({"-i", "--var-flags", "0"}, "Dim a(1) As Long = {1,\n2}\n",
                             /*terminal=*/true);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("> ... > "), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace dudUdudADOD::cli
