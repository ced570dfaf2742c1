#include "sections/side_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace dudUdudADOD::sections {
namespace {

TEST(SideThreadTest, RunsEachJobOffTheCallersThreadInTurn) {
  SideThread side;
  const std::thread::id caller = std::this_thread::get_id();
  int total = 0;
  bool elsewhere = true;
  for (int i = 1; i <= 100; ++i) {
    side.Start([&total, &elsewhere, caller, i] {
      total += i;  // no lock: Wait orders each job before the next
      elsewhere = elsewhere && std::this_thread::get_id() != caller;
    });
    side.Wait();
  }
  EXPECT_EQ(total, 5050);
  EXPECT_TRUE(elsewhere);
}

TEST(SideThreadTest, HandsAFailureToWaitAndCarriesOn) {
  SideThread side;
  side.Start([] { throw std::runtime_error("slice failed"); });
  EXPECT_THROW(side.Wait(), std::runtime_error);
  bool ran = false;
  side.Start([&ran] { ran = true; });
  EXPECT_NO_THROW(side.Wait());
  EXPECT_TRUE(ran);
}

TEST(SideThreadTest, DestroyedWhileAJobRunsWaitsForIt) {
  bool finished = false;
  {
    SideThread side;
    side.Start([&finished] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      finished = true;
    });
  }
  EXPECT_TRUE(finished);
  SideThread unused;  // never started: nothing to join
}

}  // namespace
}  // namespace dudUdudADOD::sections
