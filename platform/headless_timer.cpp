#include "platform/headless_timer.h"

#include <algorithm>
#include <limits>
#include <map>

#include "base/exception.h"

namespace sw {

namespace {
class THeadlessTimer;
}  // namespace

struct THeadlessTimerService::TState {
  uint64_t Now = 0;
  uint64_t NextId = 1;
  uint64_t NextStart = 1;  // start order, which breaks ties between timers due together
  bool Alive = true;
  bool Firing = false;
  // By id, which is creation order.
  std::map<uint64_t, THeadlessTimer*> Timers;
};

namespace {

using TState = THeadlessTimerService::TState;

class THeadlessTimer : public ITimer {
public:
  explicit THeadlessTimer(std::shared_ptr<TState> state) : state_(std::move(state)), id_(state_->NextId++) {
    state_->Timers.emplace(id_, this);
  }
  ~THeadlessTimer() override { state_->Timers.erase(id_); }

  void Start(uint32_t intervalMs) override {
    interval_ = std::max<uint32_t>(1, intervalMs);
    due_ = state_->Now + interval_;
    startOrder_ = state_->NextStart++;
    active_ = true;
  }
  void Stop() override { active_ = false; }
  bool Active() const override { return active_ && state_->Alive; }
  uint32_t Interval() const override { return interval_; }

  uint64_t Due() const { return due_; }
  uint64_t StartOrder() const { return startOrder_; }
  // Schedules the next tick before this one runs, so that a Start inside the tick wins.
  void Reschedule() { due_ += interval_; }

  // Runs OnTimer through a copy: the tick may destroy this timer and with it the original.
  void Fire() {
    const std::function<void()> handler = OnTimer;
    if (handler) handler();
  }

private:
  std::shared_ptr<TState> state_;
  uint64_t id_;
  uint32_t interval_ = 1000;
  uint64_t due_ = 0;
  uint64_t startOrder_ = 0;
  bool active_ = false;
};

// Marks the service as inside a tick for the tick's duration, also when the tick raises.
class TFiringScope {
public:
  explicit TFiringScope(TState& state) : state_(state) {
    // A nested Advance would move the clock under the outer one's feet.
    if (state_.Firing) RaiseError("Timers cannot be advanced from inside a timer tick");
    state_.Firing = true;
  }
  ~TFiringScope() { state_.Firing = false; }
  TFiringScope(const TFiringScope&) = delete;
  TFiringScope& operator=(const TFiringScope&) = delete;

private:
  TState& state_;
};

}  // namespace

THeadlessTimerService::THeadlessTimerService() : state_(std::make_shared<TState>()) {}

THeadlessTimerService::~THeadlessTimerService() {
  // Timers still held elsewhere keep the state but never fire again.
  state_->Alive = false;
}

std::unique_ptr<ITimer> THeadlessTimerService::CreateTimer() {
  return std::make_unique<THeadlessTimer>(state_);
}

uint64_t THeadlessTimerService::Advance(uint64_t ms) {
  TFiringScope scope(*state_);
  const uint64_t end =
      state_->Now > std::numeric_limits<uint64_t>::max() - ms ? std::numeric_limits<uint64_t>::max() : state_->Now + ms;
  uint64_t fired = 0;
  for (;;) {
    // The earliest due tick; timers come and go during ticks, so search afresh every time.
    THeadlessTimer* next = nullptr;
    for (const auto& [id, timer] : state_->Timers) {
      if (!timer->Active() || timer->Due() > end) continue;
      if (!next || timer->Due() < next->Due() ||
          (timer->Due() == next->Due() && timer->StartOrder() < next->StartOrder())) {
        next = timer;
      }
    }
    if (!next) break;
    state_->Now = next->Due();
    next->Reschedule();
    ++fired;
    next->Fire();
  }
  state_->Now = end;
  return fired;
}

uint64_t THeadlessTimerService::FireAll() {
  TFiringScope scope(*state_);
  std::vector<uint64_t> ids;
  for (const auto& [id, timer] : state_->Timers) {
    if (timer->Active()) ids.push_back(id);
  }
  uint64_t fired = 0;
  for (const uint64_t id : ids) {
    const auto it = state_->Timers.find(id);
    if (it == state_->Timers.end() || !it->second->Active()) continue;
    ++fired;
    it->second->Fire();
  }
  return fired;
}

uint64_t THeadlessTimerService::Now() const { return state_->Now; }

int32_t THeadlessTimerService::ActiveCount() const {
  int32_t n = 0;
  for (const auto& [id, timer] : state_->Timers) n += timer->Active() ? 1 : 0;
  return n;
}

}  // namespace sw
