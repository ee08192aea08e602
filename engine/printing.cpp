// Printing: every page fills the whole sheet of the printer, turned a quarter turn when it fits
// better that way, is rendered at the print resolution in bands of bounded size and each band is
// stretched onto the printer. Bands keep the memory of a page bounded at any device resolution.
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "base/exception.h"
#include "base/numeric.h"
#include "engine/document.h"
#include "platform/printer.h"

namespace sw {

namespace {

// Most pixels one band may hold; a larger source is halved until its pieces fit.
constexpr int64_t kMaxBandPixels = 1920000;
// Longest side in pixels of a page rendered for printing; beyond it the page is refused rather
// than cut into millions of bands.
constexpr int64_t kMaxPrintSide = int64_t(1) << 20;

const char* const kQualityNames[] = {"Low print quality (150 DPI)", "Medium print quality (300 DPI)",
                                     "High print quality (600 DPI)", "Device print quality (best possible DPI)"};

// The caches a page's printing may let go of while the bands run, for a document that prefers
// memory over speed. Bands are printed in a fixed order; a top-level shape of the page is freed
// (caches and decoded pictures) after the last band that draws it, and what lies below a shape
// whose cache is built is freed at once, since that cache holds it all. Freeing too early would
// only cost a rebuild, never change a pixel: caches are rebuilt the same from the same shapes.
class TBandReleaser {
public:
  TBandReleaser(TdtpDocument& doc, TdtpPage& page, double dpm, const TdtpPaintInfo& info)
      : doc_(doc), page_(page), info_(info) {
    const auto n = static_cast<size_t>(std::max(page.ChildCount(), 0));
    bounds_.resize(n);
    first_.assign(n, -1);
    last_.assign(n, -1);
    scratch_.SetSize(1, 1);
    for (size_t i = 0; i < n; ++i) {
      const TdtpShape* child = page.Child(static_cast<int>(i));
      if (!child) continue;
      // Where the paint looks for the shape (the bounds with curbs, a cached shape's widened by
      // the reach of its resampled edges), with a device pixel more against rounding.
      TFloatRect b = child->BoundsInParent(true);
      double pad = 1 / dpm;
      if (child->NeedsCache()) {
        const float r = TdtpDocument::CacheResolution(*child, dpm);
        pad += 2 * ((r > 0 ? 1 / static_cast<double>(r) : 0) + 1 / dpm);
      }
      const auto p = static_cast<float>(pad);
      bounds_[i] = TFloatRect{b.Left - p, b.Top - p, b.Right + p, b.Bottom + p};
    }
  }

  // The dry run: band index draws the area.
  void Plan(int64_t index, const TFloatRect& area) {
    for (size_t i = 0; i < bounds_.size(); ++i) {
      if (!Meets(i, area)) continue;
      if (first_[i] < 0) first_[i] = index;
      last_[i] = index;
    }
  }

  // Before band index (and before its bitmap exists): builds the caches of the top-level shapes
  // this band draws first, one shape at a time and the parts of each before the shape, freeing
  // what a built cache holds at once. A shape's parts (a decoded picture above all), the caches
  // built from them, the shape's own cache and the band are then never all held together. The
  // caches are those the band would build, from the same shapes at the same resolution.
  void Prepare(int64_t index) {
    // A cached page draws everything into its own cache, inside the band.
    if (page_.NeedsCache()) return;
    for (size_t i = 0; i < bounds_.size(); ++i) {
      if (first_[i] != index) continue;
      TdtpShape* child = page_.Child(static_cast<int>(i));
      if (!child || !child->Visible() || !child->NeedsCache()) continue;
      BuildCache(*child);
    }
  }

  // After band index over area: frees what no later band needs.
  void Printed(int64_t index, const TFloatRect& area) {
    if (FreeBelow(page_)) return;
    for (size_t i = 0; i < bounds_.size(); ++i) {
      TdtpShape* child = page_.Child(static_cast<int>(i));
      if (!child) continue;
      if (last_[i] == index) {
        child->FreeCaches();
      } else if (Meets(i, area)) {
        FreeBelow(*child);
      }
    }
  }

private:
  bool Meets(size_t i, const TFloatRect& area) const {
    const TFloatRect& b = bounds_[i];
    return area.Left < b.Right && b.Left < area.Right && area.Top < b.Bottom && b.Top < area.Bottom;
  }

  // Frees the caches below a shape whose own cache is built; false when it has none.
  static bool FreeBelow(TdtpShape& shape) {
    const TBitmap32* cache = shape.Cache();
    if (!cache || cache->Empty() || !(shape.CacheDpm > 0)) return false;
    for (int i = 0; i < shape.ChildCount(); ++i) {
      if (TdtpShape* child = shape.Child(i)) child->FreeCaches();
    }
    return true;
  }

  // The caches inside the shape first, deepest first, then its own: a paint of the whole shape
  // onto a one-pixel scratch builds the cache as the band's paint would and lays almost nothing.
  void BuildCache(TdtpShape& shape) {
    BuildInside(shape);
    doc_.DrawTo(&shape, scratch_, shape.BoundsInParent(true), false, info_);
    FreeBelow(shape);
  }

  // The caches of the parts drawn into a shape's paint.
  void BuildInside(TdtpShape& shape) {
    for (int i = 0; i < shape.ChildCount(); ++i) {
      TdtpShape* child = shape.Child(i);
      if (!child || !child->Visible()) continue;
      if (child->NeedsCache()) {
        BuildCache(*child);
      } else {
        BuildInside(*child);
      }
    }
  }

  TdtpDocument& doc_;
  TdtpPage& page_;
  const TdtpPaintInfo& info_;
  TBitmap32 scratch_;
  std::vector<TFloatRect> bounds_;
  std::vector<int64_t> first_;
  std::vector<int64_t> last_;
};

// How rendered pixels map onto device pixels: one rendered pixel covers Up device pixels along
// each axis, or Down rendered pixels cover one device pixel; the other is 1. Whole ratios let every
// band boundary fall on a device pixel boundary, so bands cut anywhere still lay each rendered row
// exactly where the whole page puts it.
struct TPixelRatio {
  int32_t Up = 1, Down = 1;
};

// The ratio nearest to device pixels per millimetre (fit) over the wanted resolution (dpm); when
// the device is finer the render gets no coarser than asked, but for the little that a sheet's
// whole pixels take off the fit.
TPixelRatio RatioOf(double fit, double dpm) {
  constexpr double kMaxRatio = 1 << 16;
  TPixelRatio r;
  if (dpm >= fit) {
    r.Down = static_cast<int32_t>(std::clamp(std::round(dpm / fit), 1.0, kMaxRatio));
  } else {
    r.Up = static_cast<int32_t>(std::clamp(std::floor(fit / dpm + 0.01), 1.0, kMaxRatio));
  }
  return r;
}

// One page's bands: where the whole page lands (Whole, in the frame of the unturned page), at
// which resolution it is rendered and how it is turned and mirrored onto the canvas.
struct TBandJob {
  TdtpDocument& Doc;
  TdtpPage& Page;
  TCanvas& Canvas;
  TRect Whole;
  double Dpm = 0;
  int Rotation = 0;
  bool MirrorH = false, MirrorV = false;
  TColor32 Paper = clWhite32;
  TdtpPaintInfo Info;
  TBandReleaser* Releaser = nullptr;
  TPixelRatio Ratio;
  TRect Dest;    // the whole page on the canvas (unturned frame)
  TRect Source;  // the whole page in rendered pixels
  const std::function<void(double share)>* Progress = nullptr;

  // Prints the page's bands in order; a dry run prints nothing and only tells the releaser which
  // bands draw what.
  void Run(bool dry) {
    index_ = 0;
    PrintBands(Source, 0, 1, dry);
  }
  void PrintBands(const TRect& src, double lo, double hi, bool dry);
  void PrintBand(const TRect& dest, const TRect& src);
  // Where a source column or row boundary lands on the canvas; the page's far edges land on the
  // destination's, which rounding may have left up to a ratio step away.
  int32_t DestX(int32_t x) const { return Map(x, Source.Right, Dest.Left, Dest.Right); }
  int32_t DestY(int32_t y) const { return Map(y, Source.Bottom, Dest.Top, Dest.Bottom); }
  int32_t Map(int32_t v, int32_t end, int32_t lo, int32_t hi) const {
    if (v >= end) return hi;
    const int64_t d = lo + static_cast<int64_t>(v) * Ratio.Up / Ratio.Down;
    return static_cast<int32_t>(std::min<int64_t>(d, hi));
  }
  // The split of a source side near its middle, on a multiple of Down so that it lands on a whole
  // device pixel.
  int32_t Split(int32_t lo, int32_t hi) const {
    const int32_t mid = lo + (hi - lo) / 2;
    const int32_t snapped = mid - mid % Ratio.Down;
    return snapped > lo && snapped < hi ? snapped : mid;
  }

  int64_t index_ = 0;  // the next band's number in the order of printing
};

// The page-local millimetres a band of source pixels shows.
TFloatRect BandArea(const TRect& src, double dpm) {
  return TFloatRect{static_cast<float>(src.Left / dpm), static_cast<float>(src.Top / dpm),
                    static_cast<float>(src.Right / dpm), static_cast<float>(src.Bottom / dpm)};
}

void TBandJob::PrintBands(const TRect& src, double lo, double hi, bool dry) {
  if (static_cast<int64_t>(src.Width()) * src.Height() <= kMaxBandPixels) {
    const int64_t index = index_++;
    if (dry) {
      if (Releaser) Releaser->Plan(index, BandArea(src, Dpm));
      return;
    }
    if (Releaser) Releaser->Prepare(index);
    PrintBand(TRect{DestX(src.Left), DestY(src.Top), DestX(src.Right), DestY(src.Bottom)}, src);
    if (Releaser) Releaser->Printed(index, BandArea(src, Dpm));
    if (Progress && *Progress) (*Progress)(hi);
    return;
  }
  // Only the source is split; each band's destination follows from its source through the page's
  // one mapping, so rounding never piles up from band to band.
  TRect s1 = src, s2 = src;
  if (src.Height() >= src.Width()) {
    s1.Bottom = s2.Top = Split(src.Top, src.Bottom);
  } else {
    s1.Right = s2.Left = Split(src.Left, src.Right);
  }
  const double mid = (lo + hi) / 2;
  PrintBands(s1, lo, mid, dry);
  PrintBands(s2, mid, hi, dry);
}

void TBandJob::PrintBand(const TRect& dest, const TRect& src) {
  TBitmap32 band;
  band.SetSize(src.Width(), src.Height());
  // The page colour under everything, as the sheet looks where no shape paints.
  band.Clear(Paper);
  Doc.RenderPageBand(Page, band, src, Dpm, Info);
  // A sheet without one of its shapes is no print.
  Doc.CheckPrintFailure();
  if (Doc.OptimizedPrinting && band.IsUniform(Paper)) return;
  switch (Rotation) {
    case 1: band.Rotate90(); break;
    case 2: band.Rotate180(); break;
    case 3: band.Rotate270(); break;
    default: break;
  }
  if (MirrorH) band.FlipHorizontal();
  if (MirrorV) band.FlipVertical();
  // The destination is in the unturned frame, where the axes of a quarter turn are exchanged.
  bool mirrorH = MirrorH, mirrorV = MirrorV;
  if (Rotation == 1 || Rotation == 3) std::swap(mirrorH, mirrorV);
  const TRect& f = Whole;
  TRect d = dest;
  if (mirrorH) {
    d.Left = f.Left + f.Right - dest.Right;
    d.Right = f.Left + f.Right - dest.Left;
  }
  if (mirrorV) {
    d.Top = f.Top + f.Bottom - dest.Bottom;
    d.Bottom = f.Top + f.Bottom - dest.Top;
  }
  const int32_t dw = d.Width(), dh = d.Height();
  int32_t x = d.Left, y = d.Top, w = dw, h = dh;
  switch (Rotation) {
    case 1:
      x = f.Left + d.Top - f.Top;
      y = f.Top + f.Right - d.Left - dw;
      w = dh;
      h = dw;
      break;
    case 2:
      x = f.Left + f.Right - d.Left - dw;
      y = f.Top + f.Bottom - d.Top - dh;
      break;
    case 3:
      x = f.Left + f.Bottom - d.Top - dh;
      y = f.Top + d.Left - f.Left;
      w = dh;
      h = dw;
      break;
    default: break;
  }
  Canvas.StretchBitmap(TRect{x, y, x + w, y + h}, band, band.BoundsRect(), smHalftone);
}

bool HasArea(const TdtpPage& page) {
  const float w = page.DocWidth(), h = page.DocHeight();
  return std::isfinite(w) && std::isfinite(h) && w > 0 && h > 0;
}

}  // namespace

// ---- TdtpPage ----

void TdtpPage::PrintTo(TCanvas& canvas, const TRect& rect, int rotation, bool mirror, bool flip, double dpm) {
  // The document hears of the bands as a share of the page its last progress report is on.
  TdtpDocument* doc = document_;
  PrintTo(canvas, rect, rotation, mirror, flip, dpm, [doc](double share) {
    const int32_t count = doc->LastProgressCount(), total = doc->LastProgressTotal();
    if (total > 0) doc->Progress(ptPrint, count, static_cast<float>((share + count - 1) / total), total);
  });
}

void TdtpPage::PrintTo(TCanvas& canvas, const TRect& rect, int rotation, bool mirror, bool flip, double dpm,
                       const std::function<void(double share)>& progress) {
  EnsureLoaded();
  if (!document_) return;
  TdtpDocument& doc = *document_;
  doc.BeginPrinting();
  struct TEnd {
    TdtpDocument& doc;
    ~TEnd() { doc.EndPrinting(); }
  } end{doc};
  // A page is printed upright in the page's own frame; only the sheet turns it.
  if (docAngle_ != 0) StoreAngle(0);
  if (!HasArea(*this)) return;
  rotation = ((rotation % 4) + 4) % 4;
  TRect whole = rect;
  if (rotation == 1 || rotation == 3) {
    whole.Right = rect.Left + rect.Height();
    whole.Bottom = rect.Top + rect.Width();
  }
  const double w = whole.Width(), h = whole.Height();
  const double pageW = DocWidth(), pageH = DocHeight();
  const double fit = std::min(h / pageH, w / pageW);
  if (!(fit > 0)) return;
  if (!(std::isfinite(dpm) && dpm > 0)) dpm = fit;
  const int32_t pw = Round(fit * pageW), ph = Round(fit * pageH);
  const int32_t left = whole.Left + Div(whole.Width() - pw, 2);
  const int32_t top = whole.Top + Div(whole.Height() - ph, 2);
  const TRect dest{left, top, left + pw, top + ph};
  // The page is rendered at a whole multiple or fraction of the device's own resolution, the one
  // nearest to the wanted one: a rendered pixel then always covers the same device pixels, where a
  // ratio just off a whole one would stretch every band a little differently and move lines by
  // device pixels on the sheet.
  const TPixelRatio ratio = RatioOf(fit, dpm);
  dpm = fit * ratio.Down / ratio.Up;
  auto sourceSide = [&](int32_t side) {
    return ratio.Up > 1 ? Round64(static_cast<double>(side) / ratio.Up) : int64_t(side) * ratio.Down;
  };
  const int64_t srcW = sourceSide(pw), srcH = sourceSide(ph);
  if (srcW > kMaxPrintSide || srcH > kMaxPrintSide) {
    RaiseError(Format("The page is too large to print at %g dots per inch", DpiOfDpm(dpm)));
  }
  if (srcW < 1 || srcH < 1 || dest.IsEmpty()) return;
  const TColor32 paper = SetAlpha(ColorFromSystem(PageColor()), 255);
  const TdtpPaintInfo info = doc.PrintPaintInfo(*this, dpm);
  const TRect source{0, 0, static_cast<int32_t>(srcW), static_cast<int32_t>(srcH)};
  // A sheet of copies at the device's own resolution places each distinct copy's picture.
  if (rotation == 0 && !mirror && !flip && ratio.Up == 1 && ratio.Down == 1 && source.Width() == dest.Width() &&
      source.Height() == dest.Height() && doc.PlacePagePictures(*this, canvas, dest, dpm, info, progress)) {
    if (doc.Performance == dpMemoryOverSpeed) FreeCaches();
    return;
  }
  TBandJob job{doc, *this, canvas, whole, dpm, rotation, mirror, flip, paper, info, nullptr, ratio, dest, source,
               &progress};
  std::optional<TBandReleaser> releaser;
  if (doc.Performance == dpMemoryOverSpeed) {
    releaser.emplace(doc, *this, dpm, job.Info);
    job.Releaser = &*releaser;
    job.Run(true);
  }
  job.Run(false);
  if (doc.Performance == dpMemoryOverSpeed) FreeCaches();
}

// ---- TdtpDocument ----

void TdtpDocument::RenderPageBand(TdtpPage& page, TBitmap32& band, const TRect& source, double dpm,
                                  const TdtpPaintInfo& info) {
  if (band.Empty() || source.IsEmpty() || !(std::isfinite(dpm) && dpm > 0)) return;
  // A grid fixed to the page's corner: every band samples the same grid columns, so a turned
  // shape's cache lands on the same pixels whichever band it falls into.
  TdtpPaintGrid grid;
  grid.Target = &band;
  grid.Frame = &page;
  grid.Dpm = dpm;
  grid.OriginX = source.Left;
  grid.OriginY = source.Top;
  TdtpPaintInfo onGrid = info;
  onGrid.Grid = &grid;
  // Page-local millimetres: where the view has placed the page never moves a print.
  const TFloatRect area{static_cast<float>(source.Left / dpm), static_cast<float>(source.Top / dpm),
                        static_cast<float>(source.Right / dpm), static_cast<float>(source.Bottom / dpm)};
  DrawTo(&page, band, area, true, onGrid);
}

TdtpPaintInfo TdtpDocument::PrintPaintInfo(const TdtpPage& page, double dpm) const {
  TdtpPaintInfo info;
  info.Mode = TPaintMode::Device;
  info.Device = dtPrinter;
  info.BackColor = SetAlpha(ColorFromSystem(page.PageColor()), 0);
  info.Dpm = static_cast<float>(dpm);
  info.Filter = Quality;
  return info;
}

float PrintQualityDpm(TPrintQualityType quality) {
  switch (quality) {
    case pqLow: return 150.0f / kMmPerInchF;
    case pqMedium: return 300.0f / kMmPerInchF;
    case pqHigh: return 600.0f / kMmPerInchF;
    default: return 0;
  }
}

TPrintQualityType PrintQualityForDpi(int32_t dpi) {
  if (dpi >= 600) return pqHigh;
  if (dpi >= 300) return pqMedium;
  return pqLow;
}

std::string TdtpDocument::PrintQualityName(TPrintQualityType quality) {
  return quality <= pqDevice ? kQualityNames[quality] : "";
}

void TdtpDocument::Print() { PrintPages(0, PageCount()); }

void TdtpDocument::PrintPages(int first, int count) {
  // Indices past the pages would be skipped anyway; they are not listed, so a huge count costs
  // nothing.
  std::vector<int> indices;
  const int64_t end = std::min<int64_t>(static_cast<int64_t>(first) + std::max(count, 0), PageCount());
  for (int64_t i = std::max(first, 0); i < end; ++i) indices.push_back(static_cast<int>(i));
  PrintPageList(indices);
}

void TdtpDocument::PrintPageList(const std::vector<int>& indices) {
  if (!services_.Printer) RaiseError("There is no printer");
  PrintPageList(indices, *services_.Printer);
}

void TdtpDocument::PrintPageList(const std::vector<int>& indices, IPrinter& printer) {
  PrintPageList(indices, printer, TPrintJob{PrintQuality, nullptr});
}

void TdtpDocument::PrintPageList(const std::vector<int>& indices, IPrinter& printer, const TPrintJob& job) {
  CheckNotBusy();
  struct TJobScope {
    bool& running;
    std::string& failure;
    ~TJobScope() {
      running = false;
      failure.clear();
    }
  } scope{printJob_, printFailure_};
  printJob_ = true;
  printFailure_.clear();
  const auto n = static_cast<int32_t>(std::min<size_t>(indices.size(), INT32_MAX));
  auto report = [&](int32_t count, float share) {
    if (job.Progress) {
      job.Progress(share);
    } else {
      Progress(ptPrint, count, share, n);
    }
  };
  const float dpm = PrintQualityDpm(job.Quality);
  report(0, 0);
  bool started = false;
  try {
    for (int32_t i = 0; i < n; ++i) {
      report(i + 1, static_cast<float>(i) / static_cast<float>(n));
      TdtpPage* page = Pages(indices[static_cast<size_t>(i)]);
      if (!page) continue;
      page->EnsureLoaded();
      if (!HasArea(*page)) continue;
      const TPrinterSheet sheet = printer.Sheet();
      if (sheet.Width <= 0 || sheet.Height <= 0) RaiseError("The printer reports no paper size");
      // The whole sheet in canvas coordinates, whose origin is the printable area's corner.
      const TRect rect{-sheet.OffsetX, -sheet.OffsetY, sheet.Width - sheet.OffsetX, sheet.Height - sheet.OffsetY};
      const double w = rect.Width(), h = rect.Height();
      const double pw = page->PageWidth(), ph = page->PageHeight();
      const double upright = std::min(h / ph, w / pw), turned = std::min(w / ph, h / pw);
      const int rotation = turned > upright ? 1 : 0;
      // A sheet is started only for a page that prints, so a missing page leaves no blank sheet.
      if (started) {
        printer.NewPage();
      } else {
        const std::string title = fileName_.empty() ? "Stickwell" : fileName_.substr(fileName_.find_last_of('/') + 1);
        printer.BeginDoc(title);
        started = true;
      }
      TPrinterCanvas canvas(printer);
      page->PrintTo(canvas, rect, rotation, false, false, dpm,
                    [&](double share) { report(i + 1, static_cast<float>((i + share) / n)); });
      report(i + 1, static_cast<float>(i + 1) / static_cast<float>(n));
    }
    if (started) printer.EndDoc();
  } catch (...) {
    if (started) printer.Abort();
    throw;
  }
  report(n, 1);
}

}  // namespace sw
