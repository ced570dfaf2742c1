// ravoduze -i, driven through standard input by the same entry point as the
// one-shot mode: reports match the one-shot mode's byte for byte, errors
// leave the session and its variables intact, and commands set the options.
#include "cli/program/interactive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/program/run.h"
#include "testutil/cli.h"

namespace dudUdudADOD::cli {
namespace {

using testutil::CliResult;

// A session fed `lines`, each ended by a line feed.
CliResult Session(const std::vector<std::string>& lines, std::vector<std::string> args = {},
                  bool terminal = false) {
  std::string input;
  for (const std::string& line : lines) input += line + "\n";
  args.insert(args.begin(), "-i");
  return testutil::RunCli(args, input, terminal);
}

// Standard error without the excerpts under script errors and without hints:
// the lines that say what went wrong.
std::string Headlines(const std::string& err) {
  std::string kept;
  size_t start = 0;
  while (start < err.size()) {
    const size_t end = std::min(err.find('\n', start), err.size() - 1) + 1;
    const std::string_view line(err.data() + start, end - start);
    if (!line.starts_with(" ") && !line.starts_with("ravoduze: hint:")) kept += line;
    start = end;
  }
  return kept;
}

// A piped session's exit code: that of the worst line that failed.
int WorstCode(const std::string& err) {
  if (err.find(": error: ") != std::string::npos || err.starts_with("ravoduze: ")) return 2;
  return err.empty() ? 0 : 1;
}

// The one-shot mode's report for the same options and script.
std::string OneShot(const std::vector<std::string>& args) {
  const CliResult r = testutil::RunCli(args);
  EXPECT_EQ(r.code, 0) << r.err;
  return r.out;
}

TEST(InteractiveSession, ReportsMatchTheOneShotMode) {
  const struct {
    std::vector<std::string> lines;  // the session
    std::vector<std::string> args;   // the one-shot command line that gives the same report
    std::vector<std::string> session_args = {};
  } cases[] = {
      {{"dim x as long = 5", "  PRINT x  "}, {"Dim x As Long = 5"}},
      {{"Dim x As Long = 5", "x"}, {"Dim x As Long = 5"}},
      {{"? CInt(5)"}, {"CInt(5)"}},
      {{":var-flags varValues", ":sep \", \"", "Dim a(1 To 3) As Byte = {72, 105, 33}", "? a"},
       {"--var-flags", "varValues", "--sep", ", ", "Dim a(1 To 3) As Byte = {72, 105, 33}"}},
      {{":vat-flags vatIndexed+vatLegend", ":sep ,", "Dim m(0 To 2, 1 To 4) As Integer", "? m"},
       {"--vat-flags", "34", "--sep", ",", "Dim m(0 To 2, 1 To 4) As Integer"}},
      {{":debug on \t", "Dim s As String = \"a\"\"b\"", "? s"},  // trailing blanks are dropped
       {"--debug", "Dim s As String = \"a\"\"b\""}},
      {{":arg-at &H120000", "Dim x As Long = 5", "? x"},
       {"--arg-at", "&H120000", "Dim x As Long = 5"}},
      {{"Dim v As Variant At &H120000 = \"text\"", ":arg-at 1179648", "? v"},
       {"--arg-at", "&H120000", "Dim v As Variant = \"text\""}},
      // A command without a value goes back to the default.
      {{":var-flags 1", ":var-flags", ":sep x", ":sep", ":arg-at 0", ":arg-at off",
        "Dim x As Long = 5", "? x"},
       {"Dim x As Long = 5"}},
      // The command line's options are the session's first options.
      {{"Dim x As Long = 5", "? x"},
       {"--var-flags", "16", "--vat-flags", "0", "Dim x As Long = 5"},
       {"--var-flags", "16", "--vat-flags", "0"}},
  };
  for (const auto& c : cases) {
    const CliResult r = Session(c.lines, c.session_args);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, OneShot(c.args)) << c.lines.front();
  }
}

// An inspection takes its argument back: what is declared after it lies
// where a script without the inspection would put it.
TEST(InteractiveSession, InspectionsLeaveNoTrace) {
  const CliResult r = Session({"Dim x As Long = 5", "? x", "? \"a temporary\"",
                               "Dim s As String = \"y\"", "? s", "Dim a(1 To 2) As Byte", "? a"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, OneShot({"Dim x As Long = 5"}) +
                       OneShot({"Dim x As Long = 5; \"a temporary\""}) +
                       OneShot({"Dim x As Long = 5; Dim s As String = \"y\""}) +
                       OneShot({"Dim x As Long = 5; Dim s As String = \"y\"; "
                                "Dim a(1 To 2) As Byte"}));
}

TEST(InteractiveSession, TheSameArgumentAddressServesEveryInspection) {
  for (const std::string at : {"&H120000", "&H10000000"}) {
    const CliResult r = Session({":arg-at " + at, "Dim x As Long = 5", "? x", "? x"});
    EXPECT_EQ(r.err, "") << at;
    const std::string once = OneShot({"--arg-at", at, "Dim x As Long = 5"});
    EXPECT_EQ(r.out, once + once) << at;
  }
}

// A line that fails prints its error, naming its line, and leaves the rest
// of the session as it was.
TEST(InteractiveSession, ErrorsLoseNothing) {
  const auto not_declared = [](const std::string& name) {
    return "<stdin>:2:3: error: \"" + name + "\" is not declared: declare it first with Dim\n";
  };
  const struct {
    std::vector<std::string> lines;
    std::string err;
    std::string script;  // the one-shot script with the same report; "" for none
  } cases[] = {
      {{"", "' a comment", "Dim x As Long = 5", "Dim y As Integer = CInt(40000)", "Dim x As Lng",
        "? y", ":nope", "? x"},
       "Run-time error '6': Overflow\n"
       "<stdin>:5:10: error: unknown type \"Lng\" (did you mean \"Long\"?)\n"
       "<stdin>:6:3: error: \"y\" is not declared: declare it first with Dim\n"
       "<stdin>:7:1: error: unknown command \":nope\": :help lists the commands\n",
       "Dim x As Long = 5"},
      // A Dim that fails declares nothing: its names are free afterwards and its
      // stack slots were popped, so declaring them again puts them where a script would.
      {{"Dim x As Long = 1, x As Long = 2", "? x", "Dim x As Long = 3", "? x"},
       "<stdin>:1:20: error: \"x\" is already declared\n" + not_declared("x"),
       "Dim x As Long = 3; x"},
      {{"Dim s(1 To 2) As String = {\"a\", CInt(40000)}, t As String", "? s",
        "Dim s(1 To 2) As String = {\"a\", \"b\"}", "? s"},
       "Run-time error '6': Overflow\n" + not_declared("s"),
       "Dim s(1 To 2) As String = {\"a\", \"b\"}; s"},
      {{"Dim t As String = \"abc\", v = Array(1, CByte(300))", "? t",
        "Dim t As String = \"abc\", v As Variant = \"x\"", "? t"},
       "Run-time error '6': Overflow\n" + not_declared("t"),
       "Dim t As String = \"abc\", v As Variant = \"x\"; t"},
      // Statements before the failing one on its line stand.
      {{"Dim a As Long = 1; Dim b As Long = CInt(40000)", "? a", "? b"},
       "Run-time error '6': Overflow\n"
       "<stdin>:3:3: error: \"b\" is not declared: declare it first with Dim\n",
       "Dim a As Long = 1"},
      {{"Dim v = 1", ":arg-at &H120000", "? v", ":arg-at off", "? v"},
       "<stdin>:3:3: error: \"v\" is a Variant, which passes as itself: it lies at 1243012, not at "
       "1179648 (declare it with At 1179648, or give :arg-at off)\n",
       "Dim v = 1"},
      // A report that fails takes back the argument cell it placed: low in the
      // stack it would leave no room for any later call's frame, and
      // elsewhere its memory is free again.
      {{"Dim x As Long = 5", ":arg-at 196800", "? x", ":arg-at off", "? x"},
       "Run-time error '28': Out of stack space\n",
       "Dim x As Long = 5"},
      {{":arg-at &H10000000", "? Null", ":arg-at off", "Dim x As Long At &H10000000 = 5", "? x"},
       "Run-time error '94': Invalid use of Null\n",
       "Dim x As Long At &H10000000 = 5"},
      {{"Dim x As Long At &H10000000", ":arg-at &H10000000", "? x"},
       "ravoduze: the 16-byte argument variant cannot go at 268435456: that memory is in use or "
       "cannot hold it\n",
       ""},
      {{"Dim x As Long = 5", "'" + std::string(kMaxScriptBytes, 'x'), "? x"},
       "<stdin>:2:1: error: the line is longer than 16 MiB: skipped\n",
       "Dim x As Long = 5"},
  };
  for (const auto& c : cases) {
    const CliResult r = Session(c.lines);
    EXPECT_EQ(r.code, WorstCode(c.err));
    EXPECT_EQ(Headlines(r.err), c.err);
    EXPECT_EQ(r.out, c.script.empty() ? "" : OneShot({c.script})) << c.lines.front();
  }
}

TEST(InteractiveSession, ABadLineIsReportedAndTheSessionGoesOn) {
  const struct {
    std::string line;
    std::string error;
  } cases[] = {
      {"? x = 6", "<stdin>:2:1: error: ? takes one variable name or value, as in ? x or ? CInt(7)"},
      {":var-flags lots",
       "<stdin>:2:12: error: :var-flags: \"lots\" is not a flag word: give a number (31, -1, 0x1F) "
       "or names joined by + (varNOTHING, varARG, varDef, varSA_Stru, varSA_Bounds, varValues, "
       "varALLINFO)"},
      {":arg-at here",
       "<stdin>:2:9: error: :arg-at: \"here\" is not an address: give 0 to 4294967295, "
       "-2147483648 to -1, or hex (0x12F790)"},
      {":debug maybe", "<stdin>:2:8: error: :debug: give on or off, not \"maybe\""},
      {":sep \"a", "<stdin>:2:6: error: :sep: the text in quotes has no closing quote"},
      {"? CInt(40000)", "Run-time error '6': Overflow"},
  };
  for (const auto& c : cases) {
    const CliResult r = Session({"Dim x As Long = 5", c.line, "? x"});
    EXPECT_EQ(r.code, WorstCode(c.error));
    EXPECT_EQ(Headlines(r.err), c.error + "\n");
    EXPECT_EQ(r.out, OneShot({"Dim x As Long = 5"})) << c.line;
  }
}

TEST(InteractiveSession, QuitEndsTheSessionAndHelpShowsTheCurrentOptions) {
  const CliResult quit = Session({"Dim x As Long = 5", ":quit", "? x"});
  EXPECT_EQ(quit.code, 0);
  EXPECT_EQ(quit.out, "");
  EXPECT_EQ(quit.err, "");
  const CliResult help = Session({":var-flags 16", ":sep \" ; \"", ":help"});
  EXPECT_NE(help.out.find("\nNow: :var-flags 16, :vat-flags 63, :sep \" ; \", :arg-at off, "
                          ":debug off, :keep-going off, :explain off\n"),
            std::string::npos)
      << help.out;
}

TEST(InteractiveSession, PromptsOnlyAtATerminalWhereEveryReportEndsItsLine) {
  EXPECT_EQ(Session({"Dim x As Long = 5"}).out, "");
  const CliResult typed = Session({"Dim x As Long = 5"}, {}, true);
  EXPECT_EQ(typed.out.rfind("ravoduze 1.0.0.4: ", 0), 0u) << typed.out;
  EXPECT_EQ(typed.out.substr(typed.out.find('\n') + 1), "> > \n");
  const std::string report = OneShot({"--var-flags", "16", "Dim s As String = \"y\""});
  ASSERT_NE(report.back(), '\n');
  const CliResult r = Session({"Dim s As String = \"y\"", "? s"}, {"--var-flags", "16"}, true);
  EXPECT_NE(r.out.find("> " + report + "\r\n> "), std::string::npos) << r.out;
  EXPECT_EQ(Session({"Dim s As String = \"y\"", "? s"}, {"--var-flags", "16"}).out, report);
}

TEST(InteractiveSession, LinesEndInLineFeedsOrCrLf) {
  // The last line has no end.
  const CliResult r = testutil::RunCli({"-i"}, "Dim x As Long = 5\r\n? x\r\n? x");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, OneShot({"Dim x As Long = 5"}) + OneShot({"Dim x As Long = 5"}));
}

TEST(InteractiveSession, AnOutputThatFailsEndsTheSession) {
  testutil::FullDevice device;
  const CliResult r = testutil::RunCli({"-i"}, "Dim x As Long = 5\n? x\n? x\n", false, &device);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "ravoduze: cannot write the report\n");
}

// :x dumps memory as --dump does; -f FILE runs first and its errors name it;
// a piped session's exit status is that of its worst failing line.
TEST(InteractiveSession, DumpsPreloadsAndTellsAPipeWhatFailed) {
  const std::string script = "Dim s As String = \"abc\"";
  const CliResult dump = Session({script, ":x 0x140000 20"});
  EXPECT_EQ(dump.code, 0) << dump.err;
  EXPECT_EQ(dump.out, testutil::RunCli({"--dump", "0x140000:20", script}).out);
  EXPECT_EQ(Session({":x"}).err,
            "<stdin>:1:3: error: :x: give an address or a variable, as in :x 0x140000 16, :x s "
            "or :x *s\n"
            " 1 | :x\n"
            "   |   ^\n");
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "ravoduze_pre.bas";
  std::ofstream(path, std::ios::binary) << script << "\nDim t As Integer = 40000\n";
  const CliResult pre = Session({"? s"}, {"-f", path.string()});
  EXPECT_EQ(pre.out, OneShot({script}));
  EXPECT_EQ(pre.err, "Run-time error '6': Overflow\n");  // the statements before it stand
  EXPECT_EQ(pre.code, 1);
  // A script error in the file runs none of it, as in the one-shot mode.
  std::ofstream(path, std::ios::binary) << script << "\nDim t As Lng\n";
  const CliResult bad = Session({"? s"}, {"-f", path.string()});
  std::filesystem::remove(path);
  EXPECT_EQ(Headlines(bad.err),
            path.string() + ":2:10: error: unknown type \"Lng\" (did you mean \"Long\"?)\n" +
                "<stdin>:1:3: error: \"s\" is not declared: declare it first with Dim\n");
  const CliResult run_time = Session({"Dim o As Object", "? o", "Dim x As Long"});
  EXPECT_EQ(run_time.code, 1);
  EXPECT_EQ(run_time.err,
            "Run-time error '91': Object variable or With block variable not set\n"
            "ravoduze: hint: :keep-going on prints every section that can be printed, and one line "
            "for each that fails\n"
            "ravoduze: hint: the error comes from the values section (varValues); :var-flags 3 "
            "leaves it out and prints the rest\n");
  EXPECT_EQ(Session({"Dim o As Object", "? o"}, {}, true).code, 0);  // a person saw it
}

TEST(InteractiveSession, TakesNoScript) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"Dim x = 1"}, std::vector<std::string>{"-f", "-"}}) {
    const CliResult r = Session({}, args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, args[0] == "-f"
                         ? "ravoduze: -i reads standard input line by line already: give -f a "
                           "file, not -\n"
                         : "ravoduze: -i reads the statements from standard input: give no "
                           "script (-f FILE runs a file first)\n");
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
