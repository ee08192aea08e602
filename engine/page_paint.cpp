// The page's own drawing: the sheet under its shapes (colour, background picture, and on screen
// the helper grid or dots, the margin frame, the outline and the drop shadow), the page drawn onto
// a canvas, and its thumbnail.
#include <algorithm>
#include <cmath>
#include <exception>

#include "base/numeric.h"
#include "engine/document.h"
#include "engine/page.h"
#include "platform/bitmap_canvas.h"
#include "platform/canvas.h"
#include "raster/resample.h"

namespace sw {

namespace {

// Pixels per inch at which a tiled picture shows at its own size.
constexpr double kTileDpi = 150;
// Sides of a checkerboard square in pixels.
constexpr int32_t kCheckerSize = 8;
constexpr TColor32 kCheckerGrey = 0xFFB0B0B0u;
// Largest thumbnail side; larger settings (from a damaged file, say) give no thumbnail.
constexpr int32_t kMaxThumbnailSide = 4096;

int32_t ClampToInt(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The index range [first, last] of the lines x(i) = round(step * i + offset), i in [lo, hi], that
// may fall inside [from, to); empty (first > last) when none can.
void LinesWithin(double step, double offset, int64_t lo, int64_t hi, int32_t from, int32_t to, int64_t& first,
                 int64_t& last) {
  const double a = std::floor((from - offset) / step) - 1, b = std::ceil((to - offset) / step) + 1;
  first = std::max<int64_t>(lo, static_cast<int64_t>(std::clamp(a, -9e18, 9e18)));
  last = std::min<int64_t>(hi, static_cast<int64_t>(std::clamp(b, -9e18, 9e18)));
}

// The whole number of grid steps in length, bounded so that loops over it stay in range.
int64_t StepsIn(double length, double step) {
  const double n = std::trunc(length / step);
  return std::isfinite(n) ? static_cast<int64_t>(std::clamp(n, 0.0, 9e15)) : 0;
}

void DrawCheckerboard(TBitmap32& bitmap, const TRect& r) {
  const TRect clip = IntersectRect(bitmap.ClipRect(), r);
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    TColor32* row = bitmap.ScanLine(y);
    const int64_t sy = (static_cast<int64_t>(y) - r.Top) / kCheckerSize;
    for (int32_t x = clip.Left; x < clip.Right; ++x) {
      const int64_t sx = (static_cast<int64_t>(x) - r.Left) / kCheckerSize;
      row[x] = ((sx + sy) % 2 == 0) ? kCheckerGrey : clWhite32;
    }
  }
  bitmap.Changed();
}

// Lays tiles of the picture from r's top-left corner over r; tiles cut by r show the matching
// part of the picture. Only the tiles meeting the bitmap's clip are drawn.
void DrawTiles(TBitmap32& bitmap, const TRect& r, const TBitmap32& picture, int32_t tw, int32_t th,
               TStretchFilter filter) {
  const TRect clip = IntersectRect(bitmap.ClipRect(), r);
  if (clip.IsEmpty()) return;
  const int64_t cols = (static_cast<int64_t>(r.Width()) + tw - 1) / tw + 1;
  const int64_t rows = (static_cast<int64_t>(r.Height()) + th - 1) / th + 1;
  const int64_t c0 = (static_cast<int64_t>(clip.Left) - r.Left) / tw;
  const int64_t c1 = std::min(cols - 1, (static_cast<int64_t>(clip.Right) - 1 - r.Left) / tw);
  const int64_t r0 = (static_cast<int64_t>(clip.Top) - r.Top) / th;
  const int64_t r1 = std::min(rows - 1, (static_cast<int64_t>(clip.Bottom) - 1 - r.Top) / th);
  for (int64_t row = r0; row <= r1; ++row) {
    for (int64_t col = c0; col <= c1; ++col) {
      const TRect tile{ClampToInt(r.Left + col * tw), ClampToInt(r.Top + row * th),
                       ClampToInt(r.Left + (col + 1) * tw), ClampToInt(r.Top + (row + 1) * th)};
      const TRect part = IntersectRect(tile, r);
      if (part.IsEmpty()) continue;
      const TRect source{0, 0,
                         std::min(picture.Width(), Round(part.Width() / static_cast<double>(tw) * picture.Width())),
                         std::min(picture.Height(), Round(part.Height() / static_cast<double>(th) * picture.Height()))};
      if (source.IsEmpty()) continue;
      TransferStretched(&bitmap, part, bitmap.ClipRect(), &picture, source, filter, dmBlend);
    }
  }
}

}  // namespace

void TdtpPage::PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  if (bitmap.Empty() || !(DocWidth() > 0) || !(DocHeight() > 0)) return;
  const float w = DocWidth(), h = DocHeight();
  const TPoint p0 = RoundPoint(LocalToPaint({0, 0}));
  const TPoint p1 = RoundPoint(LocalToPaint({w, h}));
  const TPoint shadow = RoundPoint(LocalToPaint({w + 1, h + 1}));
  const TRect r{p0.X, p0.Y, p1.X, p1.Y};
  const int32_t shadowWidth = shadow.X - p1.X;
  const TdtpHelperMethodType helper = HelperMethod();
  const auto filter = static_cast<TStretchFilter>(std::min<uint8_t>(info.Filter, sfMitchell));

  if (info.Mode != TPaintMode::Screen || helper != hmPattern) {
    if (info.Mode != TPaintMode::DeviceWithoutPageColor) bitmap.FillRect(r, ColorFromSystem(PageColor()));
    try {
      TdtpBitmapResource& background = Background();
      TResourceAccess access(background);
      const TBitmap32* picture = background.Bitmap();
      if (picture && !picture->Empty() && !r.IsEmpty()) {
        if (BackgroundTiled()) {
          const TdtpAffineTransform& m = PaintMatrix();
          // One tile is the picture at 150 pixels per inch, and never less than a pixel.
          const int32_t tw = std::max(1, Round(picture->Width() * kMmPerInch / kTileDpi * m.A));
          const int32_t th = std::max(1, Round(picture->Height() * kMmPerInch / kTileDpi * m.D));
          DrawTiles(bitmap, r, *picture, tw, th, filter);
        } else {
          TransferStretched(&bitmap, r, bitmap.ClipRect(), picture, picture->BoundsRect(), filter, dmBlend);
        }
      }
    } catch (const std::exception& e) {
      // A picture that cannot be shown leaves the sheet without it; the rest is still drawn.
      if (document_) {
        document_->ReportPaintError(this, e.what());
      } else {
        throw;
      }
    }
  } else {
    DrawCheckerboard(bitmap, r);
  }

  if (document_) document_->RaiseCanvasEvent(document_->OnPaintBackground, bitmap, r);
  if (info.Mode != TPaintMode::Screen) return;

  const TdtpAffineTransform& m = PaintMatrix();
  const double g = GridSize();
  const TRect clip = bitmap.ClipRect();
  // A grid finer than a pixel would only darken the page (and cost a line per pixel).
  const bool gridShows = g > 0 && m.A * g >= 1 && m.D * g >= 1;
  if (helper == hmGrid && gridShows) {
    const TColor32 c = ColorFromSystem(GridColor());
    int64_t first = 0, last = -1;
    LinesWithin(m.A * g, m.E, 1, StepsIn(w, g) - 1, clip.Left, clip.Right, first, last);
    for (int64_t i = first; i <= last; ++i) {
      bitmap.VertLine(PaintX(static_cast<float>(g * static_cast<double>(i))), p0.Y + 1, p1.Y - 2, c);
    }
    LinesWithin(m.D * g, m.F, 1, StepsIn(h, g) - 1, clip.Top, clip.Bottom, first, last);
    for (int64_t i = first; i <= last; ++i) {
      bitmap.HorzLine(p0.X + 1, PaintY(static_cast<float>(g * static_cast<double>(i))), p1.X - 2, c);
    }
  } else if (helper == hmDots && gridShows) {
    const TColor32 c = ColorFromSystem(GridColor());
    int64_t i0 = 0, i1 = -1, j0 = 0, j1 = -1;
    LinesWithin(m.A * g, m.E, 1, StepsIn(w, g), clip.Left, clip.Right, i0, i1);
    LinesWithin(m.D * g, m.F, 1, StepsIn(h, g), clip.Top, clip.Bottom, j0, j1);
    for (int64_t j = j0; j <= j1; ++j) {
      const int32_t y = PaintY(static_cast<float>(g * static_cast<double>(j)));
      for (int64_t i = i0; i <= i1; ++i) bitmap.SetPixelS(PaintX(static_cast<float>(g * static_cast<double>(i))), y, c);
    }
  }
  if (ShowMargins()) {
    const TPoint m0 = RoundPoint(LocalToPaint({MarginLeft(), MarginTop()}));
    const TPoint m1 = RoundPoint(LocalToPaint({w - MarginRight(), h - MarginBottom()}));
    bitmap.SetStipple({clWhite32, clBlack32});
    bitmap.SetStippleStep(0.5f);
    bitmap.FrameRectStippled(m0.X, m0.Y, m1.X + 1, m1.Y + 1);
  }
  if (!parent_ && ViewStyle() == vsPrintLayout) {
    bitmap.FrameRect(r, clBlack32);
    bitmap.FillRect(TRect{p0.X + shadowWidth, p1.Y, shadow.X, shadow.Y}, clBlack32);
    bitmap.FillRect(TRect{p1.X, p0.Y + shadowWidth, shadow.X, p1.Y}, clBlack32);
  }
}

void TdtpPage::AfterPaint(TBitmap32& bitmap) {
  if (!document_) return;
  const TPoint p0 = RoundPoint(LocalToPaint({0, 0}));
  const TPoint p1 = RoundPoint(LocalToPaint({DocWidth(), DocHeight()}));
  document_->RaiseCanvasEvent(document_->OnPaintForeground, bitmap, TRect{p0.X, p0.Y, p1.X, p1.Y});
}

void TdtpPage::PaintToCanvas(TCanvas& canvas, const TRect& rect, double dpm, bool fit) {
  EnsureLoaded();
  if (!document_) return;
  TdtpDocument& doc = *document_;
  doc.BeginPrinting();
  try {
    const TdtpPaintInfo info = doc.PrintPaintInfo(*this, std::min(doc.RenderDpm(), dpm));
    double scale = doc.ScreenDpm();
    int64_t iw = Round64(scale * DocWidth()), ih = Round64(scale * DocHeight());
    if (iw >= 1 && ih >= 1 && iw * ih > TdtpDocument::kCachePixelBudget) {
      // A deep zoom would make the picture huge; its size only sets the detail, so cap it.
      scale *= std::sqrt(static_cast<double>(TdtpDocument::kCachePixelBudget) / static_cast<double>(iw * ih));
      iw = std::max<int64_t>(1, Round64(scale * DocWidth()));
      ih = std::max<int64_t>(1, Round64(scale * DocHeight()));
    }
    if (iw >= 1 && ih >= 1 && !(fit && rect.IsEmpty())) {
      const auto width = static_cast<int32_t>(iw), height = static_cast<int32_t>(ih);
      TRect out{rect.Left, rect.Top, rect.Left + width, rect.Top + height};
      if (fit) {
        const double k = std::min(rect.Height() / static_cast<double>(height), rect.Width() / static_cast<double>(width));
        const int32_t ow = Round(width * k), oh = Round(height * k);
        out.Left = rect.Left + (rect.Width() - ow) / 2;
        out.Top = rect.Top + (rect.Height() - oh) / 2;
        out.Right = out.Left + ow;
        out.Bottom = out.Top + oh;
      }
      if (!out.IsEmpty()) {
        TBitmap32 image;
        image.SetSize(width, height);
        image.Clear(ColorFromSystem(PageColor()));
        // The document keeps the record that a page went out to a canvas; no paint reads it.
        doc.Device = dtPrinter;
        doc.DrawTo(this, image, TFloatRect{0, 0, DocWidth(), DocHeight()}, true, info);
        if (static_cast<int64_t>(out.Width()) * out.Height() < iw * ih) {
          TBitmap32 reduced;
          reduced.SetSize(out.Width(), out.Height());
          StretchAuto(&reduced, reduced.BoundsRect(), &image, image.BoundsRect(), sfLinear, dmOpaque);
          canvas.DrawBitmap(out.Left, out.Top, reduced);
        } else {
          canvas.StretchBitmap(out, image, image.BoundsRect(), smHalftone);
        }
      }
    }
  } catch (...) {
    doc.EndPrinting();
    throw;
  }
  doc.EndPrinting();
}

std::unique_ptr<TBitmap32> TdtpDocument::RenderThumbnail(TdtpPage& page) {
  const int32_t w = ThumbnailWidth, h = ThumbnailHeight;
  if (w <= 0 || h <= 0 || w > kMaxThumbnailSide || h > kMaxThumbnailSide) return nullptr;
  auto thumbnail = std::make_unique<TBitmap32>();
  thumbnail->SetSize(w, h);
  thumbnail->Clear(ColorFromSystem(Color));
  TBitmapCanvas canvas(*thumbnail);
  page.PaintToCanvas(canvas, TRect{1, 1, w - 1, h - 1}, kDefaultDpm, true);
  const double k = std::min(h / static_cast<double>(page.DocHeight()), w / static_cast<double>(page.DocWidth()));
  if (std::isfinite(k) && k > 0) {
    const int32_t fw = Round(k * page.DocWidth()), fh = Round(k * page.DocHeight());
    const int32_t left = (w - fw) / 2, top = (h - fh) / 2;
    thumbnail->FrameRect(TRect{left, top, left + fw, top + fh}, clBlack32);
  }
  // Thumbnails are stored without alpha.
  thumbnail->ResetAlpha(255);
  return thumbnail;
}

}  // namespace sw
