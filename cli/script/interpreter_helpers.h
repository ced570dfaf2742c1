// Helpers the interpreter's two files share (interpreter.cc, the
// statements; interpreter_expressions.cc, the expressions): a number's text
// for messages, and a guard that undoes a step that failed.
#ifndef DUD_CLI_SCRIPT_INTERPRETER_HELPERS_H_
#define DUD_CLI_SCRIPT_INTERPRETER_HELPERS_H_

#include <exception>
#include <string>
#include <utility>

#include "automation/text_forms.h"
#include "automation/utf8.h"

namespace dudUdudADOD::cli::interpreter_helpers {

// A Double as the language writes it, in UTF-8.
inline std::string NumberText(double value) {
  std::u16string text;
  automation::AppendDouble(text, value);
  return automation::ToUtf8(text);
}

// Runs `undo` when its scope is left by an exception, so that a temporary
// which a failing step was about to consume is freed instead of lost. An
// error while undoing is dropped: the first error is the one to report.
template <typename Undo>
class OnFailure {
 public:
  explicit OnFailure(Undo undo) : undo_(std::move(undo)) {}
  ~OnFailure() {
    if (std::uncaught_exceptions() <= exceptions_) return;
    try {
      undo_();
    } catch (...) {  // the failure being unwound is the one to report
    }
  }
  OnFailure(const OnFailure&) = delete;
  OnFailure& operator=(const OnFailure&) = delete;

 private:
  Undo undo_;
  int exceptions_ = std::uncaught_exceptions();
};

}  // namespace dudUdudADOD::cli::interpreter_helpers

#endif  // DUD_CLI_SCRIPT_INTERPRETER_HELPERS_H_
