// LineEditor: where an interactive session gets the lines a person types,
// with line editing and a history, when the program has a library for it.
//
// The session (interactive.h) reads plain lines from its input stream
// unless it is handed an editor; the ravoduze program hands it one when
// standard input is a terminal and it was built with the line-editing
// library (MakeTerminalEditor). The library is linked into the program
// alone: the libraries below it and the tests use the standard library only.
#ifndef DUD_CLI_PROGRAM_LINE_EDITOR_H_
#define DUD_CLI_PROGRAM_LINE_EDITOR_H_

#include <memory>
#include <optional>
#include <string>

namespace dudUdudADOD::cli {

class LineEditor {
 public:
  virtual ~LineEditor() = default;

  // Shows `prompt` and returns the line typed, without its line break;
  // nullopt at the end of input (Ctrl-D on an empty line). Ctrl-C cancels
  // the line being typed, as a shell does: it gives an empty line, which
  // the session passes over to a fresh prompt.
  virtual std::optional<std::string> ReadLine(const std::string& prompt) = 0;

  // Adds a line to the history, which is kept for the next session.
  virtual void Remember(const std::string& line) = 0;

  // Whether Ctrl-C was pressed since the last line was read (while that
  // line ran), once: the session then drops the line's report.
  virtual bool TakeInterrupt() { return false; }
};

// The terminal's editor, its history in $XDG_STATE_HOME/ravoduze/history
// (~/.local/state/ravoduze/history by default); nullptr when the program
// was built without the library. Defined by the program, not by dud_cli.
// While it lives it holds SIGINT: a Ctrl-C while a line runs (a long
// report) is noted on standard error, the line runs to its end (the
// component's call cannot be stopped midway) and its report is dropped, so
// the session keeps its variables; a second one ends the program.
std::unique_ptr<LineEditor> MakeTerminalEditor();

}  // namespace dudUdudADOD::cli

#endif  // DUD_CLI_PROGRAM_LINE_EDITOR_H_
