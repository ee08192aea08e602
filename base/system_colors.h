// The window system's default colours, for colour values that refer to a system colour
// (negative values, whose low byte is the system colour index).
#pragma once

#include <cstdint>

namespace sw {

// The default colour of a system colour index as 0xRRGGBB; 0 (black) for an unknown index.
uint32_t SystemColorRGB(uint32_t index);

}  // namespace sw
