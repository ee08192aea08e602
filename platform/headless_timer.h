// Timers for tests and tools: they run on a clock of their own that moves only when the owner
// calls Advance or FireAll, so a test decides exactly which ticks happen.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/timer.h"

namespace sw {

class THeadlessTimerService : public ITimerService {
public:
  THeadlessTimerService();
  ~THeadlessTimerService() override;
  THeadlessTimerService(const THeadlessTimerService&) = delete;
  THeadlessTimerService& operator=(const THeadlessTimerService&) = delete;

  // A new stopped timer. It may outlive the service, after which it never fires.
  std::unique_ptr<ITimer> CreateTimer() override;

  // Moves the clock on by ms and fires every tick that falls due on the way, earliest first
  // (timers due at the same moment in the order they were started). A timer stopped, restarted
  // or destroyed by a tick is honoured at once. Returns the number of ticks fired. An exception
  // from a tick passes to the caller with the clock left at that tick; calling Advance or FireAll
  // from inside a tick raises "Timers cannot be advanced from inside a timer tick".
  uint64_t Advance(uint64_t ms);
  // Fires every timer active now once, in creation order, without moving the clock or the
  // timers' schedules; a timer stopped or destroyed by an earlier tick of the round is skipped.
  // Returns the number of ticks fired.
  uint64_t FireAll();
  // The service's clock in milliseconds, 0 at creation.
  uint64_t Now() const;
  // Timers currently started.
  int32_t ActiveCount() const;

  struct TState;

private:
  std::shared_ptr<TState> state_;
};

}  // namespace sw
