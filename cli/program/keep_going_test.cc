// -k as a user runs it: the sections that succeed are the whole report's
// text, the failed ones one line each, and every hint after a failure leads
// to a command that shows something.
#include "cli/program/keep_going.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "testutil/cli.h"

namespace dudUdudADOD::cli {
namespace {

using testutil::CliResult;
using testutil::RunCli;

const char* const kScripts[] = {
    "Dim x As Long = 5",
    "Dim s As String = \"ab\"",
    "Dim d As Date = #12/31/9999 11:59:59 PM#",
    "Dim v As Variant = \"text\"",
    "Dim m(1 To 2, 0 To 2) As Integer = {1, 2, 3, 4, 5, 6}",
    "Dim a(1 To 2) As String = {\"hi\", \"\"}",
    "Dim w(0 To 1) As Variant = {\"x\", 2.5}",
    "Dim e() As Long\nReDim e(2 To 4)",
};

TEST(KeepGoing, SectionsThatSucceedAreTheWholeReportByteForByte) {
  for (const char* script : kScripts) {
    for (const char* flags : {"31", "1", "2", "4", "8", "12", "16", "6", "29", "0"}) {
      for (const bool lf : {false, true}) {
        std::vector<std::string> args = {"--var-flags", flags, "--sep", ";", script};
        if (lf) args.insert(args.begin(), "--lf");
        const CliResult whole = RunCli(args);
        args.insert(args.begin(), "-k");
        const CliResult parts = RunCli(args);
        ASSERT_EQ(whole.code, 0) << script << " " << flags;
        EXPECT_EQ(parts.code, 0) << script << " " << flags;
        EXPECT_EQ(parts.out, whole.out) << script << " " << flags;
        EXPECT_EQ(parts.err, whole.err) << script << " " << flags;
      }
    }
  }
}

// The report of `script` with `flags` alone, which succeeds.
std::string Sections(const std::string& flags, const std::string& script) {
  const CliResult r = RunCli({"--var-flags", flags, script});
  EXPECT_EQ(r.code, 0) << r.err;
  return r.out;
}

TEST(KeepGoing, AFailedSectionIsOneLineInItsPlace) {
  const std::string null_error = "Run-time error '94': Invalid use of Null\r\n";
  const std::string empty_error = "Run-time error '9': Subscript out of range\r\n";
  const struct {
    std::string script;
    std::string out;
  } cases[] = {
      {"Dim v = Null", "/// VARIANT_ARG STRUCTURE /// " + null_error + "\r\n/// VARIABLE /// " +
                           null_error + "\r\n\r\n/// VALUE /// " + null_error},
      {"Dim v As Variant", "/// VARIANT_ARG STRUCTURE /// " + empty_error +
                               "\r\n/// VARIABLE /// " + empty_error + "\r\n" +
                               Sections("16", "Dim v As Variant")},
      {"Dim o As Object",
       Sections("3", "Dim o As Object") +
           "\r\n/// VALUE /// Run-time error '91': Object variable or With block variable not "
           "set\r\n"},
      {"Dim v = Array(1, 2)",
       "/// VARIANT_ARG STRUCTURE /// Run-time error '13': Type mismatch\r\n"
       "\r\n" +
           Sections("30", "Dim v = Array(1, 2)")},
      {"Dim d() As Long",
       Sections("15", "Dim d() As Long") + "\r\n/// VALUES /// Run-time error '6': Overflow\r\n"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli({"-k", "-q", c.script});
    EXPECT_EQ(r.code, 1) << c.script;
    EXPECT_EQ(r.out, c.out) << c.script;
    EXPECT_EQ(r.err, "") << c.script;
  }
  // Flags that ask for no section that prints: the one call's error alone.
  const CliResult none = RunCli({"-k", "--var-flags", "varSA_Bounds", "Dim d() As Long"});
  EXPECT_EQ(none.code, 0);
  EXPECT_EQ(none.out, "");
}

// The commands a hint offers, as "-k", "--var-flags N", "--vat-flags N" and
// "--dump ADDR:COUNT".
std::vector<std::vector<std::string>> OfferedCommands(const std::string& hints) {
  std::vector<std::vector<std::string>> commands;
  const std::regex offer(R"((^|\s)(-k|--var-flags \d+|--vat-flags \d+|--dump \d+:\d+)(?=\s))");
  for (auto it = std::sregex_iterator(hints.begin(), hints.end(), offer);
       it != std::sregex_iterator(); ++it) {
    const std::string command = (*it)[2];
    const size_t space = command.find(' ');
    if (space == std::string::npos) {
      commands.push_back({command});
    } else {
      commands.push_back({command.substr(0, space), command.substr(space + 1)});
    }
  }
  return commands;
}

TEST(KeepGoing, EveryHintLeadsToACommandThatShowsSomething) {
  const struct {
    std::string script;
    size_t offers;      // commands the hints offer
    std::string shown;  // what one of them shows that the report could not
  } cases[] = {
      {"Dim v = Null", 2, "   1243012 01 00 00 00"},  // vt 1 in the dump
      {"Dim v As Variant", 3, "   1243012 00 00 00 00"},
      {"Dim o As Object", 2, "Nothing        False"},
      {"Dim v = Array(1, 2)", 3, "   1243012 0C 20 00 00"},
      {"Dim d() As Long", 2, "Long()         True"},
  };
  for (const auto& c : cases) {
    const CliResult failed = RunCli({c.script});
    ASSERT_EQ(failed.code, 1);
    const std::vector<std::vector<std::string>> commands = OfferedCommands(failed.err);
    EXPECT_EQ(commands.size(), c.offers) << failed.err;
    std::string seen;
    for (std::vector<std::string> args : commands) {
      args.push_back(c.script);
      const CliResult r = RunCli(args);
      EXPECT_NE(r.out, "") << c.script << ": " << args.front();
      EXPECT_EQ(r.code, args.front() == "-k" ? 1 : 0) << c.script << ": " << args.front();
      seen += r.out;
    }
    EXPECT_NE(seen.find(c.shown), std::string::npos) << c.script << "\n" << seen;
  }
}

TEST(KeepGoing, GoesWithTheTextReportOnly) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"-k", "--json"}, "-k and --json cannot go together"},
      {{"--footprint", "--keep-going"}, "-k and --footprint cannot go together"},
      {{"-k", "--dump", "0"}, "-k and --dump cannot go together"},
      {{"--explain", "--json"}, "--explain and --json cannot go together"},
      {{"--explain", "--dump", "0"}, "--explain and --dump cannot go together"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("ravoduze: " + c.error + ": ", 0), 0u) << r.err;
  }
}

TEST(KeepGoing, ASessionKeepsGoingWhenAskedAndSaysSoInItsStatus) {
  const CliResult r = RunCli({"-i", "-q"}, "Dim v = Null\n:keep-going on\n? v\n:keep-going\n? v\n");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out,
            "/// VARIANT_ARG STRUCTURE /// Run-time error '94': Invalid use of Null\r\n\r\n"
            "/// VARIABLE /// Run-time error '94': Invalid use of Null\r\n\r\n\r\n"
            "/// VALUE /// Run-time error '94': Invalid use of Null\r\n");
  EXPECT_EQ(r.err, "Run-time error '94': Invalid use of Null\n");  // the second, without -k
  const CliResult bad = RunCli({"-i"}, ":keep-going maybe\n");
  EXPECT_NE(bad.err.find("error: :keep-going: give on or off, not \"maybe\""), std::string::npos)
      << bad.err;
}

// The built program through a pipe, as a shell runs it.
TEST(KeepGoing, ThroughAPipeTheStatusSaysASectionFailed) {
  const std::string command =
      std::string(DUD_RAVODUZE_PATH) + " -k 'Dim o As Object' 2>/dev/null | tail -1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
  pclose(pipe);
  EXPECT_STREQ(line,
               "/// VALUE /// Run-time error '91': Object variable or With block variable not "
               "set\r\n");
  const std::string status =
      std::string(DUD_RAVODUZE_PATH) + " -k 'Dim o As Object' >/dev/null 2>&1";
  const int code = std::system(status.c_str());
  EXPECT_EQ(WIFEXITED(code) ? WEXITSTATUS(code) : -1, 1);
}

}  // namespace
}  // namespace dudUdudADOD::cli
