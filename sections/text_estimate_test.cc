#include "sections/text_estimate.h"

#include <gtest/gtest.h>

#include <string>

namespace dudUdudADOD::sections {
namespace {

uint64_t LabelsByHand(uint64_t n) {
  uint64_t chars = 0;
  for (uint64_t i = 1; i <= n; ++i) chars += std::to_string(i).size() + 2;
  return chars;
}

TEST(TextEstimateTest, OrdinalLabelsAreCountedExactly) {
  for (const uint64_t n : {0u, 1u, 9u, 10u, 11u, 99u, 100u, 101u, 999u, 1000u, 123456u}) {
    EXPECT_EQ(OrdinalLabelChars(n), LabelsByHand(n)) << n;
  }
  // The most elements an array holds: digits of 1 to 2^31 - 1.
  EXPECT_EQ(OrdinalLabelChars(2147483647u) - OrdinalLabelChars(2147483646u), 12u);
}

// A walk whose elements write `body` characters each after their label: the
// guess is never short (a short one costs a copy of the whole text) and
// never long by a quarter (a long one is given back with a copy).
TEST(TextEstimateTest, LeansLongByLessThanAQuarter) {
  struct Case {
    uint64_t body, done, total;
    bool ordinal;
  };
  const Case cases[] = {{2, 4096, 1u << 24, true},   {1, 4096, 100000000, true},
                        {5, 65536, 1u << 20, false}, {17, 3, 1000, false},
                        {40, 4096, 1u << 21, true},  {0, 1, 2, true}};
  for (const Case& c : cases) {
    const uint64_t labels_done = c.ordinal ? OrdinalLabelChars(c.done) : 0;
    const uint64_t labels_all = c.ordinal ? OrdinalLabelChars(c.total) : 0;
    const uint64_t written = c.body * c.done + labels_done;
    const uint64_t exact = c.body * (c.total - c.done) + labels_all - labels_done;
    const uint64_t guess = EstimateRest(written, c.done, c.total, c.ordinal);
    EXPECT_GE(guess, exact) << c.body << " " << c.total;
    EXPECT_LE(guess, exact + exact / 4) << c.body << " " << c.total;
  }
  EXPECT_EQ(EstimateRest(100, 10, 10, false), 0u);  // nothing left
}

}  // namespace
}  // namespace dudUdudADOD::sections
