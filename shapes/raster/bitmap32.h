// TBitmap32: a rectangle of 32-bit ARGB pixels (not premultiplied), rows top to bottom without
// gaps, with change notification, clipping and the drawing and transfer operations the engine uses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "base/stream.h"
#include "shapes/raster/color32.h"

namespace sw {

enum TDrawMode { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };
enum TCombineMode { cmBlend = 0, cmMerge = 1 };
enum TStretchFilter {
  sfNearest = 0, sfDraft = 1, sfLinear = 2, sfCosine = 3, sfSpline = 4, sfLanczos = 5, sfMitchell = 6
};

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

  TRect ClipRect;
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
  std::unique_ptr<TColor32[]> bits_;
};

}  // namespace sw
