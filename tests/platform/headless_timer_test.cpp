#include "platform/headless_timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exception.h"
#include "support/errors.h"

namespace sw {
namespace {

struct TTick {
  std::string Name;
  uint64_t At;
  friend bool operator==(const TTick&, const TTick&) = default;
};

std::ostream& operator<<(std::ostream& os, const TTick& t) { return os << t.Name << "@" << t.At; }

class HeadlessTimers : public ::testing::Test {
protected:
  std::unique_ptr<ITimer> Make(const std::string& name) {
    auto t = service.CreateTimer();
    t->OnTimer = [this, name] { ticks.push_back({name, service.Now()}); };
    return t;
  }

  THeadlessTimerService service;
  std::vector<TTick> ticks;
};

TEST_F(HeadlessTimers, FireOnlyWhenTheClockMovesAndInTimeOrder) {
  auto a = Make("a"), b = Make("b");
  EXPECT_FALSE(a->Active());
  a->Start(30);
  b->Start(50);
  EXPECT_TRUE(a->Active());
  EXPECT_EQ(a->Interval(), 30u);
  EXPECT_EQ(service.ActiveCount(), 2);
  EXPECT_EQ(service.Advance(29), 0u);
  EXPECT_TRUE(ticks.empty());
  EXPECT_EQ(service.Advance(121), 8u);
  // At 150 both are due; a was started first.
  const std::vector<TTick> expected = {{"a", 30}, {"b", 50}, {"a", 60}, {"a", 90},
                                       {"b", 100}, {"a", 120}, {"a", 150}, {"b", 150}};
  EXPECT_EQ(ticks, expected);
  EXPECT_EQ(service.Now(), 150u);

  // Restarting moves the schedule to now; a zero interval runs at 1 ms.
  ticks.clear();
  a->Start(0);
  EXPECT_EQ(a->Interval(), 1u);
  b->Stop();
  EXPECT_EQ(service.Advance(3), 3u);
  EXPECT_EQ(ticks, (std::vector<TTick>{{"a", 151}, {"a", 152}, {"a", 153}}));
  a->Stop();
  a->Stop();  // safe when not running
  EXPECT_EQ(service.Advance(1000), 0u);
  EXPECT_EQ(service.ActiveCount(), 0);
}

TEST_F(HeadlessTimers, ATickMayStopRestartOrDestroyItsOwnTimer) {
  auto stopper = Make("stop");
  stopper->OnTimer = [&] {
    ticks.push_back({"stop", service.Now()});
    stopper->Stop();
  };
  stopper->Start(10);
  auto restarter = Make("restart");
  restarter->OnTimer = [&] {
    ticks.push_back({"restart", service.Now()});
    restarter->Start(restarter->Interval() * 2);
  };
  restarter->Start(5);
  // The handler holds state of its own, which dies with the timer in the middle of the tick.
  auto doomed = service.CreateTimer();
  auto payload = std::make_shared<std::string>("doomed");
  doomed->OnTimer = [&, payload] {
    ticks.push_back({*payload, service.Now()});
    doomed.reset();
  };
  doomed->Start(7);
  service.Advance(40);
  EXPECT_EQ(ticks, (std::vector<TTick>{{"restart", 5}, {"doomed", 7}, {"stop", 10}, {"restart", 15}, {"restart", 35}}));
  EXPECT_EQ(doomed, nullptr);
  EXPECT_EQ(payload.use_count(), 1);
  EXPECT_FALSE(stopper->Active());
}

TEST_F(HeadlessTimers, ATickMayDestroyOrStopAnotherTimerThatIsDueToo) {
  auto first = Make("first"), second = Make("second"), third = Make("third");
  first->OnTimer = [&] {
    ticks.push_back({"first", service.Now()});
    second.reset();
    third->Stop();
  };
  first->Start(10);
  second->Start(10);
  third->Start(10);
  EXPECT_EQ(service.Advance(10), 1u);
  EXPECT_EQ(ticks, (std::vector<TTick>{{"first", 10}}));

  // FireAll honours the same.
  ticks.clear();
  third->Start(10);
  auto fourth = Make("fourth");
  fourth->Start(10);
  first->OnTimer = [&] {
    ticks.push_back({"first", service.Now()});
    fourth.reset();
  };
  EXPECT_EQ(service.FireAll(), 2u);
  EXPECT_EQ(ticks, (std::vector<TTick>{{"first", 10}, {"third", 10}}));
}

TEST_F(HeadlessTimers, FireAllFiresEachActiveTimerOnceWithoutMovingTheClock) {
  auto a = Make("a"), b = Make("b"), idle = Make("idle");
  b->Start(500);
  a->Start(20);
  EXPECT_EQ(service.FireAll(), 2u);
  EXPECT_EQ(ticks, (std::vector<TTick>{{"a", 0}, {"b", 0}}));  // creation order
  EXPECT_EQ(service.Now(), 0u);
  ticks.clear();
  EXPECT_EQ(service.Advance(20), 1u);  // the schedule is untouched
  EXPECT_EQ(ticks, (std::vector<TTick>{{"a", 20}}));
}

TEST_F(HeadlessTimers, NestedAdvanceAndRaisingTicksAreReported) {
  auto t = Make("t");
  t->OnTimer = [&] { service.Advance(5); };
  t->Start(10);
  EXPECT_EQ(test::ErrorOf<Exception>([&] { service.Advance(10); }),
            "Timers cannot be advanced from inside a timer tick");
  EXPECT_EQ(service.Now(), 10u);

  t->OnTimer = [] { throw Exception("tick failed"); };
  EXPECT_EQ(test::ErrorOf<Exception>([&] { service.Advance(100); }), "tick failed");
  EXPECT_EQ(service.Now(), 20u);  // left at the raising tick
  t->OnTimer = [&] { ticks.push_back({"t", service.Now()}); };
  EXPECT_EQ(service.Advance(10), 1u);  // the service still works
  EXPECT_EQ(ticks, (std::vector<TTick>{{"t", 30}}));
}

TEST(HeadlessTimerService, TimersOutlivingTheServiceNeverFire) {
  std::unique_ptr<ITimer> survivor;
  bool fired = false;
  {
    THeadlessTimerService service;
    survivor = service.CreateTimer();
    survivor->OnTimer = [&] { fired = true; };
    survivor->Start(1);
  }
  EXPECT_FALSE(survivor->Active());
  survivor->Start(5);
  survivor->Stop();
  survivor.reset();
  EXPECT_FALSE(fired);
}

}  // namespace
}  // namespace sw
