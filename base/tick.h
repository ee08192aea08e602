// A monotonic millisecond counter for timing rules (the picture-cache trim interval, hint delays,
// hot-zone acceleration). It never goes backwards, whatever the wall clock does.
#pragma once

#include <chrono>
#include <cstdint>

namespace sw {

// Milliseconds since an arbitrary fixed point; only differences mean anything.
inline uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace sw
