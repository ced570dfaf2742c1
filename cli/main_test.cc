// The built program, run as a shell runs it, for what only main() decides:
// a standard output whose reader has gone ends the run with exit 3 and a
// message, not with the signal that the failing write raises.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
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

TEST(Program, AClosedPipeIsAWriteFailureNotASignal) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string input;
  } cases[] = {
      {"a report", {}, ""},
      {"a session", {"-i"}, "Dim x As Long = 5\n? x\n? x\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = RunIntoClosedPipe(c.args, c.input);
    ASSERT_TRUE(outcome.exited) << "killed by signal " << outcome.code;
    EXPECT_EQ(outcome.code, 3);
    EXPECT_EQ(outcome.err, "ravoduze: cannot write the report: Broken pipe\n");
  }
}

}  // namespace
}  // namespace dudUdudADOD::cli
