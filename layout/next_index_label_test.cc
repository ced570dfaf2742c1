// Index labels walk an array of any rank like an odometer.
#include "layout/next_index_label.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/runtime_error.h"
#include "automation/utf8.h"

namespace dudUdudADOD::layout {
namespace {

// A snapshot of an array declared with `bounds` (lower, upper) in declaration
// order, stored the way the platform stores them: last declared first.
automation::SafeArrayDesc Declared(std::vector<std::pair<int32_t, int32_t>> bounds) {
  automation::SafeArrayDesc d;
  d.cDims = static_cast<int16_t>(bounds.size());
  for (size_t k = 0; k < bounds.size(); ++k) {
    const auto& [lower, upper] = bounds[bounds.size() - 1 - k];
    d.rgsabound[k] = {upper - lower + 1, lower};
  }
  return d;
}

std::vector<int32_t> Start(const automation::SafeArrayDesc& d) {
  std::vector<int32_t> counters;
  for (int k = 0; k < d.cDims; ++k) counters.push_back(d.rgsabound[k].lLbound);
  return counters;
}

// The labels of `n` elements; in the index form IndexLabelWriter, which
// keeps the slower counters' text between carries, must agree label for
// label and leave the counters where NextIndexLabel does.
std::string Labels(const automation::SafeArrayDesc& d, std::vector<int32_t>& counters, int n,
                   bool ordinal = false) {
  std::vector<int32_t> kept = counters;
  IndexLabelWriter writer(d, kept);
  std::string all;
  for (int step = 1; step <= n; ++step) {
    const std::u16string label = NextIndexLabel(d, counters, step, ordinal);
    if (!ordinal) {
      std::u16string written;
      writer.Append(written);
      EXPECT_EQ(automation::ToUtf8(written), automation::ToUtf8(label)) << "step " << step;
    }
    all += automation::ToUtf8(label);
  }
  if (!ordinal) {
    EXPECT_EQ(kept, counters);
  }
  return all;
}

TEST(NextIndexLabelTest, WalksInMemoryOrderFirstDeclaredDimensionFastest) {
  const struct {
    std::vector<std::pair<int32_t, int32_t>> bounds;
    int steps;
    const char* labels;
  } cases[] = {
      {{{0, 1}, {0, 2}}, 6, "[0,0][1,0][0,1][1,1][0,2][1,2]"},
      {{{1, 2}, {1, 3}}, 6, "[1,1][2,1][1,2][2,2][1,3][2,3]"},
      {{{-1, 0}, {5, 6}}, 4, "[-1,5][0,5][-1,6][0,6]"},
      {{{0, 1}, {0, 1}, {0, 1}}, 8, "[0,0,0][1,0,0][0,1,0][1,1,0][0,0,1][1,0,1][0,1,1][1,1,1]"},
      {{{0, 1}, {7, 7}, {0, 1}}, 4, "[0,7,0][1,7,0][0,7,1][1,7,1]"},
      {{}, 1, "[]"},
  };
  for (const auto& c : cases) {
    const automation::SafeArrayDesc d = Declared(c.bounds);
    std::vector<int32_t> counters = Start(d);
    EXPECT_EQ(Labels(d, counters, c.steps), c.labels);
    EXPECT_EQ(counters, Start(d)) << "after the last element every counter is back at its start";
  }
}

TEST(NextIndexLabelTest, OrdinalFormLeavesTheCountersWhereTheyStood) {
  const automation::SafeArrayDesc d = Declared({{0, 1}, {0, 2}});
  std::vector<int32_t> counters = Start(d);
  EXPECT_EQ(Labels(d, counters, 1), "[0,0]");
  EXPECT_EQ(automation::ToUtf8(NextIndexLabel(d, counters, 7, true)), "[7]");
  EXPECT_EQ(automation::ToUtf8(NextIndexLabel(d, counters, 2, false)), "[1,0]");
}

TEST(NextIndexLabelTest, ExtremeBoundsNeitherOverflowNorLoop) {
  const automation::SafeArrayDesc d = Declared({{INT32_MAX - 1, INT32_MAX}});
  std::vector<int32_t> counters = Start(d);
  EXPECT_EQ(Labels(d, counters, 3), "[2147483646][2147483647][2147483646]");
  const automation::SafeArrayDesc wide = Declared({{-2, 0}, {INT32_MAX - 1, INT32_MAX}, {-1, 0}});
  std::vector<int32_t> wide_counters = Start(wide);
  EXPECT_EQ(Labels(wide, wide_counters, 13),
            "[-2,2147483646,-1][-1,2147483646,-1][0,2147483646,-1]"
            "[-2,2147483647,-1][-1,2147483647,-1][0,2147483647,-1]"
            "[-2,2147483646,0][-1,2147483646,0][0,2147483646,0]"
            "[-2,2147483647,0][-1,2147483647,0][0,2147483647,0][-2,2147483646,-1]");
}

TEST(NextIndexLabelTest, MoreThanSixtyDimensionsRaises9) {
  automation::SafeArrayDesc d;
  d.cDims = 61;
  std::vector<int32_t> counters(61);
  try {
    NextIndexLabel(d, counters, 1, false);
    ADD_FAILURE();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), automation::kSubscriptOutOfRange);
  }
}

}  // namespace
}  // namespace dudUdudADOD::layout
