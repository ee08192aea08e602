#include "magnet/template_artwork.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/exception.h"
#include "base/numeric.h"

namespace sw {

namespace {

constexpr TColor32 kTransparent = 0x00FFFFFFu;
constexpr int32_t kMarkColour = 0x404040;

// Signed distance in millimetres from (x, y) to the outline: negative inside.
float SignedDistance(const TArtworkOutline& outline, float x, float y) {
  const float hw = outline.Width / 2, hh = outline.Height / 2;
  const float px = std::fabs(x - hw), py = std::fabs(y - hh);
  switch (outline.Shape) {
    case TArtworkShape::Ellipse: {
      if (hw == hh) return std::hypot(px, py) - hw;
      // The ellipse's distance as its implicit function over the length of its gradient, exact
      // on the curve, which is all an antialiased edge needs.
      const float k0 = std::hypot(px / hw, py / hh);
      const float k1 = std::hypot(px / (hw * hw), py / (hh * hh));
      return k1 > 0 ? k0 * (k0 - 1) / k1 : -std::min(hw, hh);
    }
    case TArtworkShape::RoundedRectangle:
    case TArtworkShape::Rectangle: {
      const float r = outline.Shape == TArtworkShape::RoundedRectangle ? outline.CornerRadius : 0;
      const float qx = px - (hw - r), qy = py - (hh - r);
      return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - r;
    }
  }
  return 0;
}

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

TColor32 WithAlpha(TRgbColor rgb, float alpha) {
  const auto a = static_cast<uint32_t>(Round(static_cast<double>(Clamp01(alpha)) * 255));
  return (a << 24) | (static_cast<uint32_t>(rgb.Value) & 0xFFFFFFu);
}

std::unique_ptr<TBitmap32> NewPicture(float widthMm, float heightMm, float pixelsPerMm) {
  auto bitmap = std::make_unique<TBitmap32>();
  bitmap->SetSize(std::max(1, Round(static_cast<double>(widthMm) * pixelsPerMm)),
                  std::max(1, Round(static_cast<double>(heightMm) * pixelsPerMm)));
  return bitmap;
}

// Coverage of the twelve hour marks around the centre of a round outline, at (x, y) in mm.
float ClockMarkCoverage(const TArtworkOutline& outline, float x, float y, float pixelMm) {
  const float radius = std::min(outline.Width, outline.Height) / 2;
  const float dx = x - outline.Width / 2, dy = y - outline.Height / 2;
  float best = 0;
  for (int hour = 0; hour < 12; ++hour) {
    const double angle = hour * std::numbers::pi / 6;
    // The point in the frame of the mark: u along the radius, v across it.
    const auto u = static_cast<float>(dx * std::sin(angle) - dy * std::cos(angle));
    const auto v = static_cast<float>(dx * std::cos(angle) + dy * std::sin(angle));
    const bool quarter = hour % 3 == 0;
    const float inner = radius * (quarter ? 0.78f : 0.83f), outer = radius * 0.92f;
    const float halfWidth = radius * (quarter ? 0.022f : 0.012f);
    const float qu = std::fabs(u - (inner + outer) / 2) - (outer - inner) / 2;
    const float qv = std::fabs(v) - halfWidth;
    const float d = std::hypot(std::max(qu, 0.0f), std::max(qv, 0.0f)) + std::min(std::max(qu, qv), 0.0f);
    best = std::max(best, Clamp01(0.5f - d / pixelMm));
  }
  return best;
}

}  // namespace

std::optional<TArtworkShape> ParseArtworkShape(const std::string& text) {
  if (text == "rectangle") return TArtworkShape::Rectangle;
  if (text == "rounded") return TArtworkShape::RoundedRectangle;
  if (text == "round") return TArtworkShape::Ellipse;
  return std::nullopt;
}

void CheckArtworkOutline(const TArtworkOutline& o) {
  auto finite = [](float v) { return std::isfinite(v); };
  if (!finite(o.Width) || !finite(o.Height) || o.Width <= 0 || o.Height <= 0) {
    RaiseError("The artwork wants a positive size");
  }
  if (!finite(o.Bleed) || o.Bleed < 0) RaiseError("The artwork's bleed margin cannot be negative");
  if (!finite(o.CornerRadius) || o.CornerRadius < 0 || o.CornerRadius > std::min(o.Width, o.Height) / 2) {
    RaiseError("The corner radius goes from 0 to half the shorter side");
  }
  if (!finite(o.PixelsPerMm) || o.PixelsPerMm <= 0) RaiseError("The artwork wants a positive resolution");
  const double longest = (std::max(o.Width, o.Height) + 2.0 * o.Bleed) * o.PixelsPerMm;
  if (longest > kMaxArtworkSide) {
    RaiseError("The artwork would be more than " + std::to_string(kMaxArtworkSide) + " pixels across");
  }
}

float ShapeCoverage(const TArtworkOutline& outline, float x, float y, float grow, float pixelMm) {
  return Clamp01(0.5f - (SignedDistance(outline, x, y) - grow) / pixelMm);
}

std::unique_ptr<TBitmap32> DrawCutoutImage(const TArtworkOutline& outline, TRgbColor frameColour, uint8_t frameAlpha,
                                           bool clockMarks) {
  CheckArtworkOutline(outline);
  std::unique_ptr<TBitmap32> bitmap = NewPicture(outline.Width, outline.Height, outline.PixelsPerMm);
  // The picture is stretched over the net area, so each axis has its own pixel size.
  const float sx = outline.Width / static_cast<float>(bitmap->Width());
  const float sy = outline.Height / static_cast<float>(bitmap->Height());
  const float pixelMm = std::max(sx, sy);
  const bool rectangle = outline.Shape == TArtworkShape::Rectangle;
  for (int32_t row = 0; row < bitmap->Height(); ++row) {
    TColor32* line = bitmap->ScanLine(row);
    const float y = (static_cast<float>(row) + 0.5f) * sy;
    for (int32_t col = 0; col < bitmap->Width(); ++col) {
      const float x = (static_cast<float>(col) + 0.5f) * sx;
      TColor32 pixel = kTransparent;
      if (!rectangle) {
        const float outside = 1 - ShapeCoverage(outline, x, y, 0, pixelMm);
        if (outside > 0) pixel = WithAlpha(frameColour, outside * frameAlpha / 255.0f);
      }
      if (clockMarks) {
        const float mark = ClockMarkCoverage(outline, x, y, pixelMm);
        if (mark > 0 && mark * 255 >= static_cast<float>(AlphaOf(pixel))) pixel = WithAlpha(kMarkColour, mark);
      }
      line[col] = pixel;
    }
  }
  bitmap->Changed();
  return bitmap;
}

std::unique_ptr<TBitmap32> DrawCutoutMask(const TArtworkOutline& outline) {
  CheckArtworkOutline(outline);
  const float m = outline.Bleed;
  std::unique_ptr<TBitmap32> bitmap = NewPicture(outline.Width + 2 * m, outline.Height + 2 * m, outline.PixelsPerMm);
  const float sx = (outline.Width + 2 * m) / static_cast<float>(bitmap->Width());
  const float sy = (outline.Height + 2 * m) / static_cast<float>(bitmap->Height());
  const float pixelMm = std::max(sx, sy);
  for (int32_t row = 0; row < bitmap->Height(); ++row) {
    TColor32* line = bitmap->ScanLine(row);
    const float y = (static_cast<float>(row) + 0.5f) * sy - m;
    for (int32_t col = 0; col < bitmap->Width(); ++col) {
      const float x = (static_cast<float>(col) + 0.5f) * sx - m;
      line[col] = WithAlpha(0xFFFFFF, 1 - ShapeCoverage(outline, x, y, m, pixelMm));
    }
  }
  bitmap->Changed();
  return bitmap;
}

std::unique_ptr<TBitmap32> DrawPlainBackground(const TArtworkOutline& outline, TRgbColor rgb, int32_t shade) {
  CheckArtworkOutline(outline);
  std::unique_ptr<TBitmap32> bitmap = NewPicture(outline.Width, outline.Height, outline.PixelsPerMm);
  const float depth = static_cast<float>(std::clamp(shade, 0, 100)) / 100;
  const int32_t height = bitmap->Height();
  for (int32_t row = 0; row < height; ++row) {
    // Darker towards the bottom by up to depth of each channel.
    const float f = 1 - depth * static_cast<float>(row) / static_cast<float>(std::max(1, height - 1));
    auto channel = [&](int shift) {
      return static_cast<uint32_t>(Round(static_cast<double>((rgb.Value >> shift) & 0xFF) * f));
    };
    bitmap->HorzLine(0, row, bitmap->Width() - 1, Color32(channel(16), channel(8), channel(0)));
  }
  bitmap->Changed();
  return bitmap;
}

}  // namespace sw
