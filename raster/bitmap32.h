// TBitmap32: a rectangle of 32-bit ARGB pixels (not premultiplied), rows top to bottom without
// gaps, with change notification, clipping and the drawing and transfer operations the engine uses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "base/stream.h"
#include "raster/color32.h"
#include "raster/geometry.h"

namespace sw {

class TThreadPersistent;
using TNotifyEvent = std::function<void(TThreadPersistent* sender)>;
// Per-pixel callback of dmCustom transfers: (foreground, background in/out, master alpha).
using TPixelCombineEvent = std::function<void(TColor32 f, TColor32& b, uint32_t m)>;

// An update counter, a change notification and a lock of its own.
class TThreadPersistent {
public:
  TThreadPersistent() = default;
  virtual ~TThreadPersistent() = default;
  TThreadPersistent(const TThreadPersistent&) = delete;
  TThreadPersistent& operator=(const TThreadPersistent&) = delete;

  void BeginUpdate() { ++updateCount_; }
  // Raises "Unpaired TThreadPersistent.EndUpdate" when the counter is already 0.
  void EndUpdate();
  // Fires OnChange, only while the update counter is 0.
  virtual void Changed();
  int UpdateCount() const { return updateCount_; }
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }

  TNotifyEvent OnChange;

private:
  int updateCount_ = 0;
  std::recursive_mutex lock_;
};

class TCustomMap : public TThreadPersistent {
public:
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // True when there is no pixel memory (zero width or height, or memory that could not be had).
  virtual bool Empty() const { return width_ == 0 || height_ == 0; }
  // Negative sizes become 0; an unchanged size does nothing and fires nothing.
  virtual void Resize(int32_t width, int32_t height);

  TNotifyEvent OnResize;

protected:
  // Called with the new size before Width and Height change; true when the size was taken.
  virtual void ChangeSize(int32_t& width, int32_t& height, int32_t newWidth, int32_t newHeight);
  int32_t width_ = 0;
  int32_t height_ = 0;
};

class TBitmap32 : public TCustomMap {
public:
  // Pictures beyond this many pixels are refused before allocating ("Can't allocate the DIB handle").
  static constexpr int64_t kMaxPixels = int64_t(1) << 28;

  TBitmap32() = default;
  ~TBitmap32() override = default;

  bool Empty() const override { return !bits_; }
  // Releases the old memory, allocates Width x Height pixels (contents undefined), resets
  // ClipRect, fires OnHandleChanged, OnChange, OnResize. Allocation failure leaves the bitmap
  // 0 x 0, fires OnHandleChanged and raises "Can't allocate the DIB handle".
  void Resize(int32_t width, int32_t height) override;
  void SetSize(int32_t width, int32_t height) { Resize(width, height); }

  TColor32* Bits() { return bits_.get(); }
  const TColor32* Bits() const { return bits_.get(); }
  // Row y, unchecked.
  TColor32* ScanLine(int32_t y) { return bits_.get() + static_cast<int64_t>(y) * width_; }
  const TColor32* ScanLine(int32_t y) const { return bits_.get() + static_cast<int64_t>(y) * width_; }
  TColor32* PixelPtr(int32_t x, int32_t y) { return ScanLine(y) + x; }
  // Unchecked pixel access.
  TColor32 Pixel(int32_t x, int32_t y) const { return ScanLine(y)[x]; }
  void SetPixel(int32_t x, int32_t y, TColor32 c) { ScanLine(y)[x] = c; }
  // Clipped access: reads outside ClipRect return OuterColor, writes there are ignored.
  TColor32 PixelS(int32_t x, int32_t y) const;
  void SetPixelS(int32_t x, int32_t y, TColor32 c);
  // Combines c into (x, y) inside ClipRect with the bitmap's CombineMode (no master alpha).
  void SetPixelTS(int32_t x, int32_t y, TColor32 c);
  TRect BoundsRect() const { return TRect{0, 0, width_, height_}; }
  // The rectangle clipped drawing stays inside; always within the bitmap, empty when it is empty.
  TRect ClipRect() const { return clipRect_; }
  // Takes r cut to the bitmap; a rectangle that misses the bitmap leaves an empty clip.
  void SetClipRect(const TRect& r) { clipRect_ = IntersectRect(r, BoundsRect()); }

  // Bilinear read at 24.8 fixed-point coordinates, weighted through the gamma table; OuterColor
  // unless the point lies strictly inside the outermost pixel centres.
  TColor32 SampleBilinear(int32_t x256, int32_t y256) const;

  // Stores c (no blending) from x1 to x2 (either order, both included) on row y, clipped.
  void HorzLine(int32_t x1, int32_t y, int32_t x2, TColor32 c);
  void VertLine(int32_t x, int32_t y1, int32_t y2, TColor32 c);
  // The four sides of r (right and bottom exclusive), one pixel wide, clipped.
  void FrameRect(const TRect& r, TColor32 c);
  // Stores c into r (right and bottom exclusive) intersected with ClipRect; then Changed.
  void FillRect(const TRect& r, TColor32 c);
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c) { FillRect(TRect{x1, y1, x2, y2}, c); }
  // Lays c over r intersected with ClipRect with the bitmap's CombineMode; then Changed.
  void FillRectT(const TRect& r, TColor32 c);
  // Spreads c over the up to four pixels around a 16.16 point, weighted by area, blended.
  void PlotAntialiased(TFixed x, TFixed y, TColor32 c);
  // Clipped one-pixel line from (x1, y1) to (x2, y2), both ends drawn, blended with CombineMode.
  void LineTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c);
  // Antialiased one-pixel line between 16.16 points (each touched pixel weighted by its
  // distance to the line), blended with CombineMode, clipped.
  void LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c);

  // Stippled drawing: the pattern restarts at position 0; an empty pattern draws opaque black.
  void SetStipple(const TArrayOfColor32& colors);
  void SetStippleStep(float step) { StippleStepValue = step; }
  float StippleStep() const { return StippleStepValue; }
  // The colour at the current stipple position; advances the position by one step.
  TColor32 GetStippleColor();
  // Passes n pixels over without drawing them.
  void AdvanceStippleCounter(int64_t n);
  void HorzLineStippled(int32_t x1, int32_t y, int32_t x2);
  void VertLineStippled(int32_t x, int32_t y1, int32_t y2);
  // Right and bottom exclusive; the pattern runs on clockwise around the corners.
  void FrameRectStippled(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void MoveTo(TFixed x, TFixed y) { PenPos = TFixedPoint{x, y}; }
  // Antialiased stippled line from the pen position; the pen ends at (x, y).
  void LineToStippled(TFixed x, TFixed y);

  void FlipHorizontal();
  void FlipVertical();
  void Rotate180();
  // Quarter turns: the bitmap becomes Height x Width.
  void Rotate90();
  void Rotate270();
  // XORs every pixel with 0xFF000000; fires no change event.
  void InvertAlpha();
  // True when empty or when every pixel equals c.
  bool IsUniform(TColor32 c) const;

  // Draws this bitmap into target with its own DrawMode, StretchFilter and OnPixelCombine,
  // clipped to target.ClipRect(); then the target's Changed.
  void Draw(TBitmap32& target, const TRect& targetRect) const;
  void Draw(TBitmap32& target, const TRect& targetRect, const TRect& sourceRect) const;

  // Every pixel becomes c (nothing on an empty bitmap); then Changed.
  void Clear(TColor32 c = clBlack32);
  // Sets the alpha byte of every pixel; then Changed.
  void ResetAlpha(uint8_t a = 255);
  // Copies size, pixels, DrawMode, MasterAlpha, OuterColor and StretchFilter.
  void Assign(const TBitmap32& source);

  // Raw stream form: width (int32 LE), height (int32 LE), then the pixels in memory order.
  // Reading refuses sizes that are negative, beyond kMaxPixels or beyond the stream's bytes.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  TDrawMode DrawMode = dmOpaque;
  TCombineMode CombineMode = cmBlend;
  uint32_t MasterAlpha = 255;
  TColor32 OuterColor = 0;
  TStretchFilter StretchFilter = sfNearest;
  TPixelCombineEvent OnPixelCombine;
  TNotifyEvent OnHandleChanged;

  // Pen and stipple state used by the line drawing operations.
  TColor32 PenColor = 0xFFFFFFFFu;
  TFixedPoint PenPos{};
  TArrayOfColor32 StipplePattern;
  float StippleCounter = 0;
  float StippleStepValue = 1.0f;

private:
  bool InClip(int32_t x, int32_t y) const {
    return x >= clipRect_.Left && x < clipRect_.Right && y >= clipRect_.Top && y < clipRect_.Bottom;
  }

  std::unique_ptr<TColor32[]> bits_;
  // Kept inside the bounds by SetClipRect and every size change, so that clipped drawing needs
  // no second check against the bitmap.
  TRect clipRect_;
};

// Box-average reduction: sourceRect is divided over targetRect by integer distribution and each
// target pixel gets the truncated per-channel mean of its block (stored, not blended). Target
// pixels outside the target are left out; a target larger than the source in a direction repeats
// source pixels. Raises "Source rectangle is invalid" when sourceRect leaves the source.
void BoxReduce(TBitmap32& target, const TRect& targetRect, const TBitmap32& source, const TRect& sourceRect);

// The gamma-weighted table of SampleBilinear: G[i] = round(255 * (i / 255)^0.7).
const uint8_t* BilinearGammaTable();

}  // namespace sw
