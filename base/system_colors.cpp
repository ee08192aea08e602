#include "base/system_colors.h"

namespace sw {

uint32_t SystemColorRGB(uint32_t index) {
  // Classic defaults, by index: scroll bar, background, active caption, inactive caption, menu,
  // window, window frame, menu text, window text, caption text, ... (0xRRGGBB).
  static const uint32_t kSystemColors[] = {
      0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
      0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0,
      0xA0A0A0, 0x6D6D6D, 0x000000, 0x434E54, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
      0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0};
  return index < sizeof(kSystemColors) / sizeof(kSystemColors[0]) ? kSystemColors[index] : 0;
}

}  // namespace sw
