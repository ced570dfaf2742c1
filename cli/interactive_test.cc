// ravoduze -i, driven through standard input by the same entry point as the
// one-shot mode: reports match the one-shot mode's byte for byte, errors
// leave the session and its variables intact, and commands set the options.
#include "cli/interactive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/run.h"

namespace dudUdudADOD::cli {
namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

// A session fed `lines`, each ended by a line feed.
Result Session(const std::vector<std::string>& lines, std::vector<std::string> args = {},
               bool terminal = false) {
  std::string input;
  for (const std::string& line : lines) input += line + "\n";
  args.insert(args.begin(), "-i");
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunRavoduze(args, in, out, err, terminal);
  return {code, out.str(), err.str()};
}

// The one-shot mode's report for the same options and script.
std::string OneShot(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunRavoduze(args, in, out, err), 0) << err.str();
  return out.str();
}

TEST(InteractiveSession, AnErrorInTheMiddleLosesNothing) {
  const Result r = Session({"Dim x As Long = 5", "Dim y As Integer = CInt(40000)", "? x"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "Run-time error '6': Overflow\n");
  EXPECT_EQ(r.out, OneShot({"Dim x As Long = 5"}));
}

TEST(InteractiveSession, ErrorsNameTheInputLine) {
  const Result r = Session({"", "' a comment", "Dim x As Lng", "? y", ":nope", "Dim x = 1"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err,
            "script:3:10: error: unknown type \"Lng\" (expected Integer, Long, Single, Double, "
            "Currency, Date, String, Boolean, Byte, Variant or Object)\n"
            "script:4:3: error: \"y\" is not declared: declare it first with Dim\n"
            "script:5:1: error: unknown command \":nope\": :help lists the commands\n");
}

struct SameCase {
  std::vector<std::string> lines;  // the session
  std::vector<std::string> args;   // the one-shot command line that gives the same report
  std::vector<std::string> session_args = {};
};

class MatchesTheOneShotMode : public testing::TestWithParam<SameCase> {};

TEST_P(MatchesTheOneShotMode, ByteForByte) {
  const SameCase& c = GetParam();
  const Result r = Session(c.lines, c.session_args);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, OneShot(c.args));
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, MatchesTheOneShotMode,
    testing::Values(
        SameCase{{"Dim x As Long = 5", "? x"}, {"Dim x As Long = 5"}},
        SameCase{{"dim x as long = 5", "  PRINT x  "}, {"Dim x As Long = 5"}},
        SameCase{{"Dim x As Long = 5", "x"}, {"Dim x As Long = 5"}},
        SameCase{{"? CInt(5)"}, {"CInt(5)"}},
        SameCase{{"Dim d() As Long; ReDim d(1 To 4)", "? d"}, {"Dim d() As Long; ReDim d(1 To 4)"}},
        SameCase{
            {":var-flags varValues", ":sep \", \"", "Dim a(1 To 3) As Byte = {72, 105, 33}", "? a"},
            {"--var-flags", "varValues", "--sep", ", ", "Dim a(1 To 3) As Byte = {72, 105, 33}"}},
        SameCase{{":vat-flags vatIndexed+vatLegend", ":sep ,", "Dim m(0 To 2, 1 To 4) As Integer",
                  "? m"},
                 {"--vat-flags", "34", "--sep", ",", "Dim m(0 To 2, 1 To 4) As Integer"}},
        SameCase{{":debug on", "Dim s As String = \"a\"\"b\"", "? s"},
                 {"--debug", "Dim s As String = \"a\"\"b\""}},
        SameCase{{":arg-at &H120000", "Dim x As Long = 5", "? x"},
                 {"--arg-at", "&H120000", "Dim x As Long = 5"}},
        SameCase{{"Dim v As Variant At &H120000 = \"text\"", ":arg-at 1179648", "? v"},
                 {"--arg-at", "&H120000", "Dim v As Variant = \"text\""}},
        // A command without a value goes back to the default.
        SameCase{{":var-flags 1", ":var-flags", ":sep x", ":sep", ":arg-at 0", ":arg-at off",
                  "Dim x As Long = 5", "? x"},
                 {"Dim x As Long = 5"}},
        // The command line's options are the session's first options.
        SameCase{{"Dim x As Long = 5", "? x"},
                 {"--var-flags", "16", "--vat-flags", "0", "Dim x As Long = 5"},
                 {"--var-flags", "16", "--vat-flags", "0"}}));

// An inspection takes its argument back: what is declared after it lies
// where a script without the inspection would put it.
TEST(InteractiveSession, InspectionsLeaveNoTrace) {
  const Result r = Session({"Dim x As Long = 5", "? x", "? \"a temporary\"",
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
    const Result r = Session({":arg-at " + at, "Dim x As Long = 5", "? x", "? x"});
    EXPECT_EQ(r.err, "") << at;
    const std::string once = OneShot({"--arg-at", at, "Dim x As Long = 5"});
    EXPECT_EQ(r.out, once + once) << at;
  }
}

// Each first line fails; the name it tried to declare is free afterwards.
struct FailedDimCase {
  std::string failing;
  std::string error;  // the start of the error line
  std::string again;  // declares the same names
  std::string inspect;
};

class AFailedDim : public testing::TestWithParam<FailedDimCase> {};

TEST_P(AFailedDim, DeclaresNothing) {
  const FailedDimCase& c = GetParam();
  const Result r = Session({c.failing, "? " + c.inspect, c.again, "? " + c.inspect});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err.rfind(c.error, 0), 0u) << r.err;
  EXPECT_NE(r.err.find("script:2:3: error: \"" + c.inspect + "\" is not declared"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  // Its stack slots were popped: the second Dim lies where a script's would.
  EXPECT_EQ(r.out, OneShot({c.again + "; " + c.inspect}));
}

INSTANTIATE_TEST_SUITE_P(
    Dims, AFailedDim,
    testing::Values(
        FailedDimCase{"Dim x As Long = CInt(40000)", "Run-time error '6'", "Dim x As Long = 7",
                      "x"},
        FailedDimCase{"Dim a As Long = 1, b As Integer = 40000", "Run-time error '6'",
                      "Dim a As Long = 2, b As Integer = 3", "a"},
        FailedDimCase{"Dim x As Long = 1, x As Long = 2", "script:1:20: error: \"x\" is already",
                      "Dim x As Long = 3", "x"},
        FailedDimCase{"Dim a(1 To 2) As Byte = {1, 2, 3}", "script:1:32: error: too many values",
                      "Dim a(1 To 3) As Byte = {1, 2, 3}", "a"},
        FailedDimCase{"Dim f(1 To 2) As Byte = FileBytes(\"/no/such/file\")",
                      "script:1:35: error: cannot open", "Dim f(1 To 2) As Byte", "f"},
        FailedDimCase{"Dim s(1 To 2) As String = {\"a\", CInt(40000)}, t As String",
                      "Run-time error '6'", "Dim s(1 To 2) As String = {\"a\", \"b\"}", "s"},
        FailedDimCase{"Dim t As String = \"abc\", v = Array(1, CByte(300))", "Run-time error '6'",
                      "Dim t As String = \"abc\", v As Variant = \"x\"", "t"}));

TEST(InteractiveSession, StatementsBeforeAFailingOneOnTheLineStand) {
  const Result r = Session({"Dim a As Long = 1; Dim b As Long = CInt(40000)", "? a", "? b"});
  EXPECT_EQ(r.err,
            "Run-time error '6': Overflow\n"
            "script:3:3: error: \"b\" is not declared: declare it first with Dim\n");
  EXPECT_EQ(r.out, OneShot({"Dim a As Long = 1"}));
}

struct BadLineCase {
  std::string line;
  std::string error;
};

class ABadLine : public testing::TestWithParam<BadLineCase> {};

TEST_P(ABadLine, IsReportedAndTheSessionGoesOn) {
  const Result r = Session({"Dim x As Long = 5", GetParam().line, "? x"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, GetParam().error + "\n");
  EXPECT_EQ(r.out, OneShot({"Dim x As Long = 5"}));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ABadLine,
    testing::Values(
        BadLineCase{"?",
                    "script:2:1: error: ? takes one variable name or value, as in ? x or "
                    "? CInt(7)"},
        BadLineCase{"? x = 6",
                    "script:2:1: error: ? takes one variable name or value, as in ? x "
                    "or ? CInt(7)"},
        BadLineCase{":var-flags lots",
                    "script:2:12: error: :var-flags: \"lots\" is not a flag "
                    "word: give a number (31, -1, &H1F) or names joined by + "
                    "(varNOTHING, varARG, varDef, varSA_Stru, varSA_Bounds, "
                    "varValues, varALLINFO)"},
        BadLineCase{":arg-at here",
                    "script:2:9: error: :arg-at: \"here\" is not an address: "
                    "give 0 to 4294967295, -2147483648 to -1, or &H hex"},
        BadLineCase{":debug maybe", "script:2:8: error: :debug: give on or off, not \"maybe\""},
        BadLineCase{":sep \"a",
                    "script:2:6: error: :sep: the text in quotes has no closing "
                    "quote"},
        BadLineCase{"? CInt(40000)", "Run-time error '6': Overflow"},
        BadLineCase{"x = \"five\"", "Run-time error '13': Type mismatch"}));

TEST(InteractiveSession, AVariantAtAnotherAddressIsRefusedWithAHint) {
  const Result r = Session({"Dim v = 1", ":arg-at &H120000", "? v", ":arg-at off", "? v"});
  EXPECT_EQ(r.err,
            "script:3:3: error: \"v\" is a Variant, which passes as itself: it lies at 1243012, "
            "not at 1179648 (declare it with At 1179648, or give :arg-at off)\n");
  EXPECT_EQ(r.out, OneShot({"Dim v = 1"}));
}

TEST(InteractiveSession, AnArgumentAddressInUseIsRefused) {
  const Result r = Session({"Dim x As Long At &H10000000", ":arg-at &H10000000", "? x"});
  EXPECT_EQ(r.err,
            "ravoduze: the 16-byte argument variant cannot go at 268435456: that memory is in "
            "use or cannot hold it\n");
  EXPECT_EQ(r.out, "");
}

TEST(InteractiveSession, QuitEndsTheSession) {
  const Result r = Session({"Dim x As Long = 5", ":quit", "? x"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST(InteractiveSession, HelpShowsTheCommandsAndTheCurrentOptions) {
  const Result r = Session({":var-flags 16", ":sep \" ; \"", ":help"});
  for (const std::string command :
       {":var-flags", ":vat-flags", ":sep", ":arg-at", ":debug", ":help", ":quit", "? NAME"}) {
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  }
  EXPECT_NE(r.out.find("Now: :var-flags 16, :vat-flags 63, :sep \" ; \", :arg-at off, "
                       ":debug off\n"),
            std::string::npos)
      << r.out;
}

TEST(InteractiveSession, PromptsOnlyAtATerminal) {
  const Result piped = Session({"Dim x As Long = 5"});
  EXPECT_EQ(piped.out, "");
  const Result typed = Session({"Dim x As Long = 5"}, {}, true);
  EXPECT_EQ(typed.out.rfind("ravoduze 1.0.0.4: ", 0), 0u) << typed.out;
  EXPECT_EQ(typed.out.substr(typed.out.find('\n') + 1), "> > \n");
}

TEST(InteractiveSession, AtATerminalEveryReportEndsItsLine) {
  const std::string report = OneShot({"--var-flags", "16", "Dim s As String = \"y\""});
  ASSERT_NE(report.back(), '\n');
  const Result r = Session({"Dim s As String = \"y\"", "? s"}, {"--var-flags", "16"}, true);
  EXPECT_NE(r.out.find("> " + report + "\r\n> "), std::string::npos) << r.out;
  EXPECT_EQ(Session({"Dim s As String = \"y\"", "? s"}, {"--var-flags", "16"}).out, report);
}

TEST(InteractiveSession, LinesEndInLineFeedsOrCrLf) {
  std::istringstream in("Dim x As Long = 5\r\n? x\r\n? x");  // the last has no end
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunRavoduze(std::vector<std::string>{"-i"}, in, out, err), 0);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(out.str(), OneShot({"Dim x As Long = 5"}) + OneShot({"Dim x As Long = 5"}));
}

TEST(InteractiveSession, AnOverlongLineIsSkipped) {
  const std::string long_line = "' " + std::string(kMaxScriptBytes, 'x');
  const Result r = Session({"Dim x As Long = 5", long_line, "? x"});
  EXPECT_EQ(r.err, "script:2:1: error: the line is longer than 16 MiB: skipped\n");
  EXPECT_EQ(r.out, OneShot({"Dim x As Long = 5"}));
}

// Takes nothing: every write fails.
class FullDisk : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(InteractiveSession, AnOutputThatFailsEndsTheSession) {
  std::istringstream in("Dim x As Long = 5\n? x\n? x\n");
  FullDisk disk;
  std::ostream out(&disk);
  std::ostringstream err;
  EXPECT_EQ(RunRavoduze(std::vector<std::string>{"-i"}, in, out, err), 3);
  EXPECT_EQ(err.str(), "ravoduze: cannot write the report\n");
}

TEST(InteractiveSession, TakesNoScript) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"Dim x = 1"}, std::vector<std::string>{"-f", "-"}}) {
    const Result r = Session({}, args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "ravoduze: -i reads the statements from standard input: give no script and no "
              "-f\n");
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
