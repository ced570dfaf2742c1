// MakeTerminalEditor for the ravoduze program: line editing and history from
// libedit (BSD-licensed, in Debian as libedit-dev) through its readline
// interface, or nothing when the build did not find it.
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/program/line_editor.h"
#include "cli/script/regular_file.h"

#ifdef DUD_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace dudUdudADOD::cli {

#ifdef DUD_HAVE_LIBEDIT

namespace {

// Lines kept in the history file; older ones drop off.
constexpr int kHistoryLines = 1000;
// A history file larger than this is not one this program wrote: skipped.
constexpr size_t kMaxHistoryBytes = size_t{16} << 20;

// $XDG_STATE_HOME/ravoduze/history, or under ~/.local/state; "" when there
// is no home to keep it in.
std::string HistoryPath() {
  std::filesystem::path base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::filesystem::path(home) / ".local" / "state";
  } else {
    return "";
  }
  std::error_code error;
  std::filesystem::create_directories(base / "ravoduze", error);
  if (error) return "";
  return (base / "ravoduze" / "history").string();
}

// The history is read from the file opened once, as a regular file and not
// through a link (a named pipe there would hold the session before its
// banner), by way of a private copy that the library reads by name.
void LoadHistory(const std::string& path) {
  std::string text;
  try {
    text = RegularFile(path, RegularFile::Links::kRefuse).ReadAll(kMaxHistoryBytes);
  } catch (const FileRefused&) {
    return;  // none yet, or none this program wrote
  }
  ReplaceFile(path + ".read", [&](const std::string& copy) {
    std::ofstream(copy, std::ios::binary) << text;
    read_history(copy.c_str());
    return false;  // the copy goes again
  });
}

// Ctrl-C, as a shell or a debugger takes it: at the prompt it cancels the
// line being typed; while a line runs, the first one is noted and the line
// runs to its end, its report dropped, keeping the session and its
// variables, and a second one ends the program as the signal does by
// default.
volatile std::sig_atomic_t interrupts = 0;
volatile std::sig_atomic_t at_prompt = 0;

// Written from the handler: write() is safe there, streams are not.
void NoteInterrupt() {
  constexpr char kNote[] =
      "\nravoduze: interrupted: the line runs to its end, its report is dropped and the "
      "session goes on (Ctrl-C again ends it)\n";
  [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

void OnInterrupt(int) {
  if (at_prompt == 0 && interrupts > 0) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
    return;
  }
  if (at_prompt == 0) NoteInterrupt();
  interrupts = interrupts + 1;
}

// The editor's read of one key, which a Ctrl-C at the prompt always ends.
// The editor's own read would miss one that comes after it echoed the last
// key and before it waits again: the handlers run (and put the terminal
// back into line mode) while nothing waits, and the wait that follows
// outlasts every key the user presses. Here the flag is looked at with the
// signal blocked, and the wait lets it in only while it waits, so a Ctrl-C
// is either seen first or ends the wait. Another signal (a resize) goes on
// waiting. EOF ends the line: the editor then returns no line.
int ReadKey(FILE* in) {
  sigset_t interrupt, previous;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  const int fd = fileno(in);
  for (;;) {
    sigprocmask(SIG_BLOCK, &interrupt, &previous);
    if (interrupts > 0) {
      sigprocmask(SIG_SETMASK, &previous, nullptr);
      return EOF;
    }
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(fd, &ready);
    const int waited = pselect(fd + 1, &ready, nullptr, nullptr, nullptr, &previous);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (waited < 0 && errno == EINTR) continue;
    if (waited < 0) return EOF;
    unsigned char key = 0;
    const ssize_t got = read(fd, &key, 1);
    if (got == 1) return key;
    if (got < 0 && errno == EINTR) continue;
    return EOF;
  }
}

// The handler is set without SA_RESTART, so that the editor's read of the
// terminal returns (the library hands the signal on to it after putting
// the terminal back).
class InterruptHandler {
 public:
  InterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    installed_ = sigaction(SIGINT, &action, &previous_) == 0;
  }
  ~InterruptHandler() {
    if (installed_) sigaction(SIGINT, &previous_, nullptr);
  }
  InterruptHandler(const InterruptHandler&) = delete;
  InterruptHandler& operator=(const InterruptHandler&) = delete;

 private:
  struct sigaction previous_ {};
  bool installed_ = false;
};

class EditlineEditor : public LineEditor {
 public:
  EditlineEditor() : path_(HistoryPath()) {
    // Set before anything else starts the library, which takes it then.
    rl_getc_function = ReadKey;
    // Tab would complete file names, which no statement holds: it types a tab.
    rl_bind_key('\t', rl_insert);
    stifle_history(kHistoryLines);
    if (!path_.empty()) LoadHistory(path_);
  }
  ~EditlineEditor() override {
    // Written beside the file and renamed over it: a link there is
    // replaced, not followed. A history that cannot be written is lost
    // quietly: the session's work is done, and its output already says
    // what it did.
    if (!path_.empty()) {
      ReplaceFile(path_,
                  [](const std::string& fresh) { return write_history(fresh.c_str()) == 0; });
    }
  }

  std::optional<std::string> ReadLine(const std::string& prompt) override {
    interrupts = 0;
    at_prompt = 1;
    char* line = readline(prompt.c_str());
    at_prompt = 0;
    if (line == nullptr && interrupts > 0) {
      // The line typed so far is dropped; the next prompt starts a line.
      std::fputs("^C\n", stdout);
      std::fflush(stdout);
      return std::string();
    }
    if (line == nullptr) return std::nullopt;
    // A Ctrl-C just after the line was entered belongs to the line's run.
    if (interrupts > 0) NoteInterrupt();
    std::string text(line);
    std::free(line);
    return text;
  }

  bool TakeInterrupt() override {
    const bool any = interrupts > 0;
    interrupts = 0;
    return any;
  }

  void Remember(const std::string& line) override {
    // The same line twice in a row is kept once, as shells do.
    if (line == last_) return;
    add_history(line.c_str());
    last_ = line;
  }

 private:
  InterruptHandler interrupt_;
  std::string path_;
  std::string last_;
};

}  // namespace

std::unique_ptr<LineEditor> MakeTerminalEditor() { return std::make_unique<EditlineEditor>(); }

#else

std::unique_ptr<LineEditor> MakeTerminalEditor() { return nullptr; }

#endif

}  // namespace dudUdudADOD::cli
