// Checked 16- and 32-bit integer arithmetic.
//
// The component's integers are the platform's Integer (16-bit) and Long
// (32-bit). Every sum, difference and product of them is checked; a result
// that does not fit raises run-time error 6 (Overflow), exactly where the
// platform's own arithmetic would.
#ifndef DUD_AUTOMATION_CHECKED_MATH_H_
#define DUD_AUTOMATION_CHECKED_MATH_H_

#include <cstdint>

#include "automation/runtime_error.h"

namespace dudUdudADOD::automation {

inline int32_t AddLong(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_add_overflow(a, b, &r)) Raise(kOverflow);
  return r;
}

inline int32_t SubLong(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) Raise(kOverflow);
  return r;
}

inline int32_t MulLong(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) Raise(kOverflow);
  return r;
}

inline int16_t AddInteger(int16_t a, int16_t b) {
  int16_t r;
  if (__builtin_add_overflow(a, b, &r)) Raise(kOverflow);
  return r;
}

inline int16_t MulInteger(int16_t a, int16_t b) {
  int16_t r;
  if (__builtin_mul_overflow(a, b, &r)) Raise(kOverflow);
  return r;
}

}  // namespace dudUdudADOD::automation

#endif  // DUD_AUTOMATION_CHECKED_MATH_H_
