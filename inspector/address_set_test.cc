#include "inspector/address_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace dudUdudADOD {
namespace {

TEST(AddressSet, KeepsEachAddressOnceThroughGrowth) {
  AddressSet set;
  std::set<automation::Address> model;
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    // Neighbouring blocks, far ones, and repeats; 64-bit addresses too.
    const automation::Address address =
        i % 3 == 0 ? 0x00140000 + 4 * (random() % 5000) : random() | 1;
    EXPECT_EQ(set.Insert(address), model.insert(address).second) << address;
  }
  EXPECT_EQ(set.size(), model.size());
  for (const automation::Address address : model) EXPECT_TRUE(set.Contains(address));
  EXPECT_FALSE(set.Contains(2));
}

TEST(AddressSet, ZeroIsNeverHeld) {
  AddressSet set;
  EXPECT_FALSE(set.Contains(0));
  EXPECT_FALSE(set.Insert(0));
  EXPECT_EQ(set.size(), 0u);
}

}  // namespace
}  // namespace dudUdudADOD
