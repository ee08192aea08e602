// Repeating timers of the user-interface thread: a document's 50 ms thumbnail timer, the hint and
// hot-zone timers, the caret and the message flash. A timer fires only on the thread that owns the
// service, between other events, never inside a call of the program's own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace sw {

class ITimer {
public:
  virtual ~ITimer() = default;
  // (Re)starts the timer: OnTimer runs every intervalMs milliseconds (at least 1) until Stop.
  virtual void Start(uint32_t intervalMs) = 0;
  // Stops the timer; a tick already due is dropped. Safe when not running.
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
  virtual uint32_t Interval() const = 0;

  // Called on every tick; may stop, restart or destroy the timer.
  std::function<void()> OnTimer;
};

class ITimerService {
public:
  virtual ~ITimerService() = default;
  // A new stopped timer; the caller owns it and may outlive nothing but the service.
  virtual std::unique_ptr<ITimer> CreateTimer() = 0;
};

}  // namespace sw
