#include "raster/color32.h"

#include "base/system_colors.h"

namespace sw {

void RaiseTransformError(const std::string& message) { throw ETransformError(message); }

// The system colour table of the window system the colour values come from; the low byte of a
// negative colour value indexes it.
TColor32 ColorFromSystem(TdtpColor color) {
  const int32_t systemColor = color.Value;
  if (systemColor < 0) {
    return 0xFF000000u | SystemColorRGB(static_cast<uint32_t>(systemColor) & 0xFF);
  }
  const uint32_t v = static_cast<uint32_t>(systemColor);
  const uint32_t r = v & 0xFF, g = (v >> 8) & 0xFF, b = (v >> 16) & 0xFF;
  return Color32(r, g, b, 255);
}

TRgbColor RgbOf(TdtpColor color) { return static_cast<int32_t>(ColorFromSystem(color) & 0x00FFFFFFu); }

TdtpColor ColorOf(TRgbColor rgb) {
  const uint32_t c = static_cast<uint32_t>(rgb.Value) & 0xFFFFFFu;
  return static_cast<int32_t>(((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu));
}

}  // namespace sw
