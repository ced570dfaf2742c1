// ErrorOf: the run-time error number a call raises, or 0 when it raises none,
// for tests that check error numbers in tables.
#ifndef DUD_TESTUTIL_ERROR_OF_H_
#define DUD_TESTUTIL_ERROR_OF_H_

#include "automation/runtime_error.h"

namespace dudUdudADOD::testutil {

template <typename Call>
int ErrorOf(Call call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace dudUdudADOD::testutil

#endif  // DUD_TESTUTIL_ERROR_OF_H_
