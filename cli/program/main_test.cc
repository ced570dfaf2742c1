// The built program, run as a shell runs it, for what only main() decides:
// a standard output whose reader has gone ends the run with exit 3 and no
// message, not with the signal that the failing write raises; and typed at
// a terminal, -i edits lines and recalls them from a history that outlives
// the session, and Ctrl-C cancels the line being typed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace dudUdudADOD::cli {
namespace {

struct Outcome {
  bool exited = false;  // false: killed by a signal
  int code = -1;        // the exit status, or the signal
  std::string err;
};

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// Runs ravoduze with `args` and `input` on standard input, its standard
// output a pipe that nobody reads any more.
Outcome RunIntoClosedPipe(const std::vector<std::string>& args, const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  close(out[0]);  // the reader has gone before the first write
  // The input is small: the pipe holds it all before the program starts.
  if (write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) return {};
  close(in[1]);
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGPIPE, SIG_DFL);  // as a shell starts a pipeline
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(DUD_RAVODUZE_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(DUD_RAVODUZE_PATH, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  Outcome outcome;
  outcome.err = ReadAll(err[0]);
  close(err[0]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return outcome;
  outcome.exited = WIFEXITED(status);
  outcome.code = outcome.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return outcome;
}

// As other tools of the shell, ravoduze says nothing when its reader has
// gone (ravoduze ... | head -1); the status still tells a script.
TEST(Program, AClosedPipeEndsTheRunSilently) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string input;
  } cases[] = {
      {"a report", {}, ""},
      {"a session", {"-i"}, "Dim x As Long = 5\n? x\n? x\n"},
      {"a dump", {"--dump", "*s", "Dim s As String = \"abc\""}, ""},
      {"the help", {"--help"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = RunIntoClosedPipe(c.args, c.input);
    ASSERT_TRUE(outcome.exited) << "killed by signal " << outcome.code;
    EXPECT_EQ(outcome.code, 3);
    EXPECT_EQ(outcome.err, "");
  }
}

// ravoduze -i on a pseudo-terminal, typed into a line at a time: each line
// is sent once the prompt asks for it.
class TypedSession {
 public:
  explicit TypedSession(const std::string& state_home) {
    pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      setenv("XDG_STATE_HOME", state_home.c_str(), 1);
      setenv("TERM", "dumb", 1);
      execl(DUD_RAVODUZE_PATH, DUD_RAVODUZE_PATH, "-i", "--var-flags", "16", "--vat-flags", "0",
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TypedSession() {
    if (terminal_ >= 0) close(terminal_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

  bool started() const { return pid_ > 0; }

  // Reads until the screen shows `text` after what was read before; false
  // at the end of output. The wait is a guard against a hang, not a timing.
  bool WaitFor(const std::string& text) {
    while (screen_.find(text, seen_) == std::string::npos) {
      pollfd ready{terminal_, POLLIN, 0};
      if (poll(&ready, 1, 20000) <= 0) return false;
      char buffer[4096];
      const ssize_t n = read(terminal_, buffer, sizeof buffer);
      if (n <= 0) return false;
      screen_.append(buffer, static_cast<size_t>(n));
    }
    seen_ = screen_.find(text, seen_) + text.size();
    return true;
  }
  // Keys go out once the editor has the terminal in its own mode: typed
  // while the terminal still edits lines itself (between the prompt and the
  // editor taking over, a moment a loaded machine stretches), the terminal
  // would take the arrows for text.
  void Type(const std::string& keys) {
    for (int tries = 0; tries < 2000 && EditsLinesItself(); ++tries) usleep(10000);
    ASSERT_EQ(write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Ctrl-C at once, while a line runs and the terminal edits lines itself.
  void Interrupt() { ASSERT_EQ(write(terminal_, "\x03", 1), 1); }
  bool EditsLinesItself() const {
    termios mode{};
    return tcgetattr(terminal_, &mode) == 0 && (mode.c_lflag & ICANON) != 0;
  }
  // What the screen showed so far, for a failure's message.
  const std::string& screen() const { return screen_; }
  // Everything up to the end of output.
  std::string Finish() {
    WaitFor(std::string(1, '\0'));  // never shown: reads to the end
    return screen_;
  }

 private:
  pid_t pid_ = -1;
  int terminal_ = -1;
  std::string screen_;
  size_t seen_ = 0;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Program, ATypedSessionEditsLinesAndKeepsAHistory) {
  if (!DUD_LINE_EDITING) GTEST_SKIP() << "built without libedit: -i reads plain lines";
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("ravoduze_pty_" + std::to_string(getpid()));
  std::filesystem::remove_all(home);
  {
    TypedSession session(home.string());
    ASSERT_TRUE(session.started());
    // A prompt at the start of a line: the editor redraws a line being
    // edited from its prompt too.
    ASSERT_TRUE(session.WaitFor("\n> "));
    // A typo mended with backspace and the arrows, then recalled with the
    // up arrow: the report comes twice.
    session.Type(
        "Dim s As String = \"ax\x7f"
        "c\x1b[Db\x1b[C\"\r");
    ASSERT_TRUE(session.WaitFor("\n> "));
    session.Type("? s\r");
    ASSERT_TRUE(session.WaitFor("\n> "));
    session.Type("\x1b[A\r");
    ASSERT_TRUE(session.WaitFor("\n> "));
    session.Type("\x04");  // Ctrl-D: the end of input
    const std::string screen = session.Finish();
    EXPECT_EQ(Count(screen, "\nabc\r"), 2u) << screen;
    EXPECT_EQ(screen.find("error"), std::string::npos) << screen;
  }
  std::ifstream history(home / "ravoduze" / "history");
  std::stringstream file;
  file << history.rdbuf();
  std::string kept = file.str();
  // The library writes a space as \040.
  for (size_t at; (at = kept.find("\\040")) != std::string::npos;) kept.replace(at, 4, " ");
  EXPECT_NE(kept.find("\n? s\n"), std::string::npos) << kept;
  EXPECT_NE(kept.find("\"abc\""), std::string::npos) << kept;
  std::filesystem::remove_all(home);
}

// A list in braces left open at the end of a typed line goes on after a
// "... " prompt, through the same editor.
TEST(Program, ATypedListGoesOnAfterAContinuationPrompt) {
  if (!DUD_LINE_EDITING) GTEST_SKIP() << "built without libedit: -i reads plain lines";
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("ravoduze_list_" + std::to_string(getpid()));
  std::filesystem::remove_all(home);
  {
    TypedSession session(home.string());
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.WaitFor("\n> "));
    session.Type("Dim a(1 To 3) As Long = {7,\r");
    ASSERT_TRUE(session.WaitFor("\n... "));
    session.Type("8, 9}\r");
    ASSERT_TRUE(session.WaitFor("\n> "));
    session.Type("? a\r");
    ASSERT_TRUE(session.WaitFor("\n> "));
    session.Type("\x04");
    const std::string screen = session.Finish();
    EXPECT_NE(screen.find("\n7 8 9 \r"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("error"), std::string::npos) << screen;
  }
  std::filesystem::remove_all(home);
}

// Ctrl-C at the prompt cancels the line being typed, as a shell's does:
// the session, and every variable in it, goes on; twice in a row changes
// nothing; the end of input still ends it.
TEST(Program, CtrlCCancelsTheLineAndKeepsTheSession) {
  if (!DUD_LINE_EDITING) GTEST_SKIP() << "built without libedit: -i reads plain lines";
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("ravoduze_ctrlc_" + std::to_string(getpid()));
  std::filesystem::remove_all(home);
  TypedSession session(home.string());
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.WaitFor("\n> "));
  session.Type("Dim x As Long = 5\r");
  ASSERT_TRUE(session.WaitFor("\n> "));
  session.Type("Dim y As Lo");
  ASSERT_TRUE(session.WaitFor("Dim y As Lo"));
  session.Type("\x03");
  ASSERT_TRUE(session.WaitFor("^C\r\n> ")) << session.screen();
  session.Type("\x03");
  ASSERT_TRUE(session.WaitFor("^C\r\n> ")) << session.screen();
  session.Type("? x\r");
  ASSERT_TRUE(session.WaitFor("\n> "));
  session.Type("\x04");
  const std::string screen = session.Finish();
  EXPECT_EQ(Count(screen, "\n5\r"), 1u) << screen;
  EXPECT_EQ(screen.find("error"), std::string::npos) << screen;
  std::filesystem::remove_all(home);
}

// Ctrl-C while a long report is made: the call runs to its end, but the
// report is dropped and the session, with its variables, goes on.
TEST(Program, CtrlCDuringAReportDropsItAndKeepsTheSession) {
  if (!DUD_LINE_EDITING) GTEST_SKIP() << "built without libedit: -i reads plain lines";
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("ravoduze_ctrlc2_" + std::to_string(getpid()));
  std::filesystem::remove_all(home);
  TypedSession session(home.string());
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.WaitFor("\n> "));
  session.Type("Dim x As Long = 5: Dim a(1 To 10000000) As Long\r");
  ASSERT_TRUE(session.WaitFor("\n> "));
  // Seconds of work for the report: the Ctrl-C typed once the line is
  // taken comes while it is made.
  session.Type("? a\r");
  ASSERT_TRUE(session.WaitFor("? a\r\n"));
  for (int tries = 0; tries < 2000 && !session.EditsLinesItself(); ++tries) usleep(10000);
  session.Interrupt();
  ASSERT_TRUE(session.WaitFor("ravoduze: interrupted: the line runs to its end"));
  ASSERT_TRUE(session.WaitFor("\n> "));
  session.Type("? x\r");
  ASSERT_TRUE(session.WaitFor("\n> "));
  session.Type("\x04");
  const std::string screen = session.Finish();
  EXPECT_EQ(screen.find("10000000 elements"), std::string::npos) << "the report was dropped";
  EXPECT_EQ(Count(screen, "\n5\r"), 1u) << screen;
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace dudUdudADOD::cli
