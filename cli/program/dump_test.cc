// --dump NAME and :x NAME, as a user runs them: a variable's own bytes, and
// with "*" what the pointer it holds leads to, as a debugger follows one;
// a clear refusal where there is nothing to follow.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil/cli.h"

namespace dudUdudADOD::cli {
namespace {

using testutil::CliResult;
using testutil::RunCli;

constexpr std::string_view kHeading =
    "   address  0  1  2  3  4  5  6  7   8  9 10 11 12 13 14 15  characters\n";

TEST(DumpByName, ShowsTheVariableOrWhatItsPointerLeadsTo) {
  const struct {
    std::string where;
    std::string script;
    std::string shown;  // after the heading, with --lf
  } cases[] = {
      {"s", "Dim s As String = \"abc\"",
       "s (String): 4 bytes at 1243024 (0x0012F790)\n"
       "   1243024 04 00 14 00                                       ....\n"},
      // The text with its length prefix (6 bytes) before it and its
      // terminator after it.
      {"*s", "Dim s As String = \"abc\"",
       "*s (length prefix, text, terminator): 12 bytes at 1310720 (0x00140000)\n"
       "   1310720 06 00 00 00 61 00 62 00  63 00 00 00              ....a.b.c...\n"},
      {"*s:4", "Dim s As String = \"abc\"",
       "*s (length prefix, text, terminator): 4 bytes at 1310720 (0x00140000)\n"
       "   1310720 06 00 00 00                                       ....\n"},
      {"x", "Dim x As Long = 7",
       "x (Long): 4 bytes at 1243024 (0x0012F790)\n"
       "   1243024 07 00 00 00                                       ....\n"},
      // An array variable holds a pointer to its descriptor: a head and one
      // bound a dimension.
      {"a", "Dim a(1 To 2, 0 To 2) As Integer",
       "a (Integer() array: its pointer to the descriptor): 4 bytes at 1243024 (0x0012F790)\n"
       "   1243024 10 00 14 00                                       ....\n"},
      {"*a", "Dim a(1 To 2, 0 To 2) As Integer",
       "*a (array descriptor): 32 bytes at 1310736 (0x00140010)\n"
       "   1310736 02 00 80 00 02 00 00 00  00 00 00 00 00 70 17 00  .............p..\n"
       "   1310752 03 00 00 00 00 00 00 00  02 00 00 00 01 00 00 00  ................\n"},
      {"*D", "Dim d() As Long: ReDim d(1 To 3)",
       "*D (array descriptor): 24 bytes at 1310736 (0x00140010)\n"
       "   1310736 01 00 80 00 04 00 00 00  00 00 00 00 00 70 17 00  .............p..\n"
       "   1310752 03 00 00 00 01 00 00 00                           ........\n"},
      // A Variant: its 16 bytes, and what its type word says it points to.
      {"v", "Dim v As Variant = \"hi\"",
       "v (Variant): 16 bytes at 1243012 (0x0012F784)\n"
       "   1243012 08 00 00 00 00 00 00 00  04 00 14 00 00 00 00 00  ................\n"},
      {"*v", "Dim v As Variant = \"hi\"",
       "*v (length prefix, text, terminator): 10 bytes at 1310720 (0x00140000)\n"
       "   1310720 04 00 00 00 68 00 69 00  00 00                    ....h.i...\n"},
      {"*v", "Dim x As Long = 7: Dim v = RawVariant(16387, 0, 0, 0, 1243024, 0)",
       "*v (the Long it refers to): 4 bytes at 1243024 (0x0012F790)\n"
       "   1243024 07 00 00 00                                       ....\n"},
      {"*v", "Dim v = Array(1, \"two\")",
       "*v (array descriptor): 24 bytes at 1310736 (0x00140010)\n"
       "   1310736 01 00 80 08 10 00 00 00  00 00 00 00 00 70 17 00  .............p..\n"
       "   1310752 02 00 00 00 00 00 00 00                           ........\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where + " of " + c.script);
    const CliResult r = RunCli({"--lf", "--dump", c.where, c.script});
    EXPECT_EQ(r.code, 0) << r.err;
    const size_t title_end = c.shown.find('\n') + 1;
    EXPECT_EQ(r.out,
              c.shown.substr(0, title_end) + std::string(kHeading) + c.shown.substr(title_end));
  }
}

// A 64-bit process: pointers of 8 bytes, a Variant of 24, a descriptor
// head of 24; wider addresses widen the column, the rows still fit 80.
TEST(DumpByName, FollowsThe64BitLayout) {
  const std::string script = "Dim a(1 To 2) As Long: Dim v As Variant = a";
  const CliResult r = RunCli({"--platform", "win64", "--lf", "--dump", "*v", script});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "*v (array descriptor): 32 bytes at 2085131386952 (0x000001E57B840048)\n"
            "      address  0  1  2  3  4  5  6  7   8  9 10 11 12 13 14 15  characters\n"
            "2085131386952 01 00 80 00 04 00 00 00  00 00 00 00 00 00 00 00  ................\n"
            "2085131386968 10 70 87 7B E5 01 00 00  02 00 00 00 01 00 00 00  .p.{............\n");
  const CliResult own = RunCli({"--platform", "win64", "--lf", "--dump", "v", script});
  EXPECT_NE(own.out.find("v (Variant): 24 bytes at "), std::string::npos) << own.out;
}

// The same in a session, where the variables stay: :x takes a blank before
// the count, and ends its lines as the session's reports do.
TEST(DumpByName, ASessionDumpsAsTheOneShotModeDoes) {
  const std::string script = "Dim s As String = \"abc\"";
  for (const auto& [session, one_shot] : std::vector<std::pair<std::string, std::string>>{
           {":x *s", "*s"}, {":x s", "s"}, {":x *s 6", "*s:6"}}) {
    const CliResult r = RunCli({"-i"}, script + "\n" + session + "\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, RunCli({"--dump", one_shot, script}).out) << session;
  }
}

// Where there is no pointer, or it is null, the user hears why and what
// would show the bytes instead; the exit status is that of a usage error.
TEST(DumpByName, SaysWhenThereIsNothingToFollow) {
  const struct {
    std::string where;
    std::string script;
    std::string message;
  } cases[] = {
      {"*x", "Dim x As Long = 5",
       "\"*x\": nothing to follow: x is a Long, a value with no pointer in it (--dump x shows "
       "its bytes)"},
      {"*i", "Dim i As Integer",
       "\"*i\": nothing to follow: i is an Integer, a value with no pointer in it (--dump i "
       "shows its bytes)"},
      {"*v", "Dim v As Variant",
       "\"*v\": nothing to follow: v holds Empty (vt 0), a value with no pointer in it (--dump v "
       "shows its bytes)"},
      {"*v", "Dim v = Null",
       "\"*v\": nothing to follow: v holds Null (vt 1), a value with no pointer in it (--dump v "
       "shows its bytes)"},
      {"*v", "Dim v = 2.5",
       "\"*v\": nothing to follow: v holds a Double (vt 5), a value with no pointer in it "
       "(--dump v shows its bytes)"},
      {"*s", "Dim s As String",
       "\"*s\": nothing to follow: s holds a null pointer: a String never "
       "given text"},
      {"*o", "Dim o As Object", "\"*o\": nothing to follow: o holds Nothing, a null pointer"},
      {"*d", "Dim d() As Byte",
       "\"*d\": nothing to follow: d holds a null pointer: an array with no storage (before "
       "ReDim, or after Erase)"},
      {"y", "Dim x As Long",
       "\"y\" is not a declared variable (give a variable's name, *NAME, or an address)"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli({"--dump", c.where, c.script});
    EXPECT_EQ(r.code, 2) << c.script;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ravoduze: --dump: " + c.message + "\n");
  }
  const CliResult session = RunCli({"-i"}, "Dim x As Long\n:x *x\n? x\n");
  EXPECT_NE(session.err.find("<stdin>:2:4: error: :x: \"*x\": nothing to follow: x is a Long"),
            std::string::npos)
      << session.err;
  EXPECT_NE(session.out.find("/// VALUE ///"), std::string::npos);  // the session goes on
}

}  // namespace
}  // namespace dudUdudADOD::cli
