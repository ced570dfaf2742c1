#include "sections/text_estimate.h"

#include <algorithm>

namespace dudUdudADOD::sections {

uint64_t OrdinalLabelChars(uint64_t n) {
  // Each label is its digits and two brackets; a number of at least 10^k
  // has a (k + 1)th digit, so the digits of 1..n add n - 10^k + 1 for every
  // power of ten up to n.
  uint64_t chars = 2 * n;
  for (uint64_t power = 1; power <= n; power *= 10) {
    chars += n - power + 1;
    if (power > UINT64_MAX / 10) break;
  }
  return chars;
}

uint64_t EstimateRest(uint64_t written, uint64_t done, uint64_t total, bool ordinal) {
  if (done == 0 || total <= done) return 0;
  const uint64_t labels_done = ordinal ? OrdinalLabelChars(done) : 0;
  const uint64_t labels_rest = ordinal ? OrdinalLabelChars(total) - labels_done : 0;
  // A walk counts at most 2^31 elements and a report 2^31 characters, so
  // the product stays far inside 64 bits.
  const uint64_t body = written - std::min(written, labels_done);
  const uint64_t rest = total - done;
  const uint64_t body_rest = (body * rest + done - 1) / done;
  return body_rest + body_rest / 8 + labels_rest;
}

}  // namespace dudUdudADOD::sections
