// Timers of the Qt event loop: each ITimer is a QTimer of the thread that created the service.
#pragma once

#include <memory>

#include "platform/timer.h"

namespace sw {

class TQtTimerService : public ITimerService {
public:
  // A new stopped timer; it fires only while the creating thread runs its event loop.
  std::unique_ptr<ITimer> CreateTimer() override;
};

}  // namespace sw
