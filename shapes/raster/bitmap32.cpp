#include "shapes/raster/bitmap32.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace sw {

void RaiseTransformError(const std::string& message) { throw ETransformError(message); }

// The system colour table of the window system the colour values come from; the low byte of a
// negative colour value indexes it.
TColor32 ColorFromSystem(int32_t systemColor) {
  static const uint32_t kSystemColors[31] = {
      0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
      0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0,
      0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
      0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0};  // 0xRRGGBB
  if (systemColor < 0) {
    const uint32_t index = static_cast<uint32_t>(systemColor) & 0xFF;
    const uint32_t rgb = index < 31 ? kSystemColors[index] : 0;
    return 0xFF000000u | rgb;
  }
  const uint32_t v = static_cast<uint32_t>(systemColor);
  const uint32_t r = v & 0xFF, g = (v >> 8) & 0xFF, b = (v >> 16) & 0xFF;
  return Color32(r, g, b, 255);
}

// ---- TThreadPersistent ----

void TThreadPersistent::EndUpdate() {
  if (updateCount_ <= 0) RaiseError("Unpaired TThreadPersistent.EndUpdate");
  --updateCount_;
}

void TThreadPersistent::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

// ---- TCustomMap ----

void TCustomMap::ChangeSize(int32_t& width, int32_t& height, int32_t newWidth, int32_t newHeight) {
  width = newWidth;
  height = newHeight;
}

void TCustomMap::Resize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  ChangeSize(width_, height_, width, height);
  Changed();
  if (OnResize) OnResize(this);
}

// ---- TBitmap32 ----

void TBitmap32::Resize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  bits_.reset();
  const int64_t count = static_cast<int64_t>(width) * height;
  if (count > 0) {
    TColor32* memory = count <= kMaxPixels ? new (std::nothrow) TColor32[static_cast<size_t>(count)] : nullptr;
    if (!memory) {
      width_ = 0;
      height_ = 0;
      ClipRect = TRect{};
      if (OnHandleChanged) OnHandleChanged(this);
      RaiseError("Can't allocate the DIB handle");
    }
    bits_.reset(memory);
  }
  width_ = width;
  height_ = height;
  ClipRect = BoundsRect();
  if (OnHandleChanged) OnHandleChanged(this);
  Changed();
  if (OnResize) OnResize(this);
}

TColor32 TBitmap32::PixelS(int32_t x, int32_t y) const {
  if (!bits_ || x < ClipRect.Left || x >= ClipRect.Right || y < ClipRect.Top || y >= ClipRect.Bottom) {
    return OuterColor;
  }
  return Pixel(x, y);
}

void TBitmap32::SetPixelS(int32_t x, int32_t y, TColor32 c) {
  if (!bits_ || x < ClipRect.Left || x >= ClipRect.Right || y < ClipRect.Top || y >= ClipRect.Bottom) return;
  SetPixel(x, y, c);
}

void TBitmap32::SetPixelTS(int32_t x, int32_t y, TColor32 c) {
  if (!bits_ || x < ClipRect.Left || x >= ClipRect.Right || y < ClipRect.Top || y >= ClipRect.Bottom) return;
  TColor32& p = ScanLine(y)[x];
  p = CombineMode == cmBlend ? BlendMem(c, p) : MergeMem(c, p);
}

void TBitmap32::Clear(TColor32 c) {
  if (bits_) std::fill_n(bits_.get(), static_cast<size_t>(width_) * static_cast<size_t>(height_), c);
  Changed();
}

void TBitmap32::ResetAlpha(uint8_t a) {
  if (bits_) {
    const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    TColor32* p = bits_.get();
    const TColor32 alpha = static_cast<TColor32>(a) << 24;
    for (size_t i = 0; i < n; ++i) p[i] = (p[i] & 0x00FFFFFFu) | alpha;
  }
  Changed();
}

void TBitmap32::Assign(const TBitmap32& source) {
  if (&source == this) return;
  BeginUpdate();
  try {
    Resize(source.Width(), source.Height());
    if (bits_ && source.bits_) {
      std::memcpy(bits_.get(), source.bits_.get(),
                  static_cast<size_t>(width_) * static_cast<size_t>(height_) * sizeof(TColor32));
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  DrawMode = source.DrawMode;
  MasterAlpha = source.MasterAlpha;
  OuterColor = source.OuterColor;
  StretchFilter = source.StretchFilter;
  EndUpdate();
  Changed();
}

void TBitmap32::LoadFromStream(TStream& stream) {
  int32_t w = 0, h = 0;
  stream.ReadBuffer(&w, 4);
  stream.ReadBuffer(&h, 4);
  if (w < 0 || h < 0) RaiseStreamError("Invalid bitmap size in stream");
  const int64_t count = static_cast<int64_t>(w) * h;
  if (count > kMaxPixels) RaiseStreamError("Invalid bitmap size in stream");
  const int64_t remaining = stream.Size() - stream.Position();
  if (count * 4 > remaining) RaiseStreamError("Stream read error");
  BeginUpdate();
  try {
    Resize(w, h);
    if (count > 0) stream.ReadBuffer(bits_.get(), count * 4);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  Changed();
}

void TBitmap32::SaveToStream(TStream& stream) const {
  const int32_t w = width_, h = height_;
  stream.WriteBuffer(&w, 4);
  stream.WriteBuffer(&h, 4);
  if (bits_) stream.WriteBuffer(bits_.get(), static_cast<int64_t>(w) * h * 4);
}

}  // namespace sw
