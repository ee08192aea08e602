#include "platform/qt/timer_qt.h"

#include <QTimer>

#include <algorithm>
#include <cstdint>

namespace sw {

namespace {

class TQtTimer : public ITimer {
public:
  TQtTimer() : timer_(new QTimer()), alive_(std::make_shared<bool>(true)) {
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, [this, alive = std::weak_ptr<bool>(alive_)] {
      // The tick may destroy this object: the handler runs from a copy and nothing of ours is
      // touched once it returns.
      const std::function<void()> handler = OnTimer;
      if (!handler) return;
      ++firing_;
      handler();
      if (!alive.expired()) --firing_;
    });
  }

  ~TQtTimer() override {
    alive_.reset();
    timer_->stop();
    QObject::disconnect(timer_, nullptr, nullptr, nullptr);
    // Deleting a QTimer inside its own timeout would pull it out from under the event loop.
    if (firing_ > 0) {
      timer_->deleteLater();
    } else {
      delete timer_;
    }
  }

  void Start(uint32_t intervalMs) override {
    interval_ = std::max<uint32_t>(1, intervalMs);
    // QTimer takes an int: intervals beyond its range run at the longest it can.
    timer_->start(static_cast<int>(std::min<uint32_t>(interval_, INT32_MAX)));
  }
  void Stop() override { timer_->stop(); }
  bool Active() const override { return timer_->isActive(); }
  uint32_t Interval() const override { return interval_; }

private:
  QTimer* timer_;
  std::shared_ptr<bool> alive_;
  int firing_ = 0;
  uint32_t interval_ = 1000;
};

}  // namespace

std::unique_ptr<ITimer> TQtTimerService::CreateTimer() { return std::make_unique<TQtTimer>(); }

}  // namespace sw
