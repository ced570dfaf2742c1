// The text of the error a call of the script language raises, so that the
// tables of its tests hold what a user sees.
#ifndef DUD_TESTUTIL_SCRIPT_ERROR_TEXT_H_
#define DUD_TESTUTIL_SCRIPT_ERROR_TEXT_H_

#include <string>

#include "cli/script/script_error.h"

namespace dudUdudADOD::testutil {

// "LINE:COLUMN: MESSAGE" for a ScriptError, the message of a UsageError, or
// "no error".
template <typename Call>
std::string ErrorTextOf(Call call) {
  try {
    call();
  } catch (const cli::ScriptError& e) {
    return std::to_string(e.position().line) + ":" + std::to_string(e.position().column) + ": " +
           e.what();
  } catch (const cli::UsageError& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace dudUdudADOD::testutil

#endif  // DUD_TESTUTIL_SCRIPT_ERROR_TEXT_H_
