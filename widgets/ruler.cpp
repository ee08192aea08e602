#include "widgets/ruler.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <cstdio>

#include "base/numeric.h"

namespace sw {

namespace {

// Beyond this many steps from zero, doubles no longer tell neighbouring ticks apart.
constexpr double kMaxStepIndex = 4503599627370496.0;  // 2^52

double UnitMillimetres(TRulerUnit units, double dpm) {
  switch (units) {
    case ruCenti: return 10;
    case ruMilli: return 1;
    case ruInch: return kMmPerInch;
    case ruPixel: return 1 / dpm;
    case ruNone: break;
  }
  return 0;
}

std::string FormatNumber(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text = buffer;
  // No "-0" next to the zero tick.
  if (!text.empty() && text[0] == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
  return text;
}

// Tick intervals per number, finest first, for a step of mantissa × 10^exponent.
std::vector<int32_t> SubdivisionChoices(TRulerUnit units, int mantissa, int exponent) {
  if (units == ruInch && exponent >= 0 && mantissa == 1) return {16, 8, 4, 2};
  if (mantissa == 1) return {10, 5, 2};
  if (mantissa == 2) return {4, 2};
  return {5};
}

QFont LabelFont(const QFont& base) {
  QFont f = base;
  f.setPixelSize(9);
  return f;
}

}  // namespace

TRulerLayout LayoutRuler(TRulerUnit units, double offsetMm, double dpm, int32_t length,
                         const std::function<int32_t(const std::string&)>& textWidth) {
  TRulerLayout out;
  if (units == ruNone || length <= 0 || !(dpm > 0) || !std::isfinite(dpm) || !std::isfinite(offsetMm)) return out;
  const double unitMm = UnitMillimetres(units, dpm);
  const double ppu = unitMm * dpm;
  const double v0 = offsetMm / unitMm;
  const double v1 = (offsetMm + length / dpm) / unitMm;
  if (!std::isfinite(v0) || !std::isfinite(v1)) return out;
  auto pixelOf = [&](double value) {
    return Round((value * unitMm - offsetMm) * dpm);
  };
  const double narrowest = static_cast<double>(textWidth("0") + kRulerLabelGap + kRulerLabelSpace);
  // Pixels never have fractional numbers.
  const int firstExponent = units == ruPixel ? 0 : -3;
  for (int exponent = firstExponent; exponent <= 18; ++exponent) {
    for (const int mantissa : {1, 2, 5}) {
      const double step = mantissa * std::pow(10.0, exponent);
      const double spacing = step * ppu;
      if (spacing < narrowest) continue;
      const double first = std::floor(v0 / step), last = std::ceil(v1 / step);
      if (std::fabs(first) > kMaxStepIndex || std::fabs(last) > kMaxStepIndex) continue;
      const int decimals = exponent < 0 ? -exponent : 0;
      std::vector<TRulerLabel> labels;
      bool fits = true;
      for (double i = first; i <= last && fits; ++i) {
        TRulerLabel label;
        label.Pos = pixelOf(i * step);
        label.Text = FormatNumber(i * step, decimals);
        label.Start = label.Pos + kRulerLabelGap;
        label.End = label.Start + textWidth(label.Text);
        // A number cut by the ruler's end would read as another ("5" for "-5", "7" for "75").
        if (label.Start < 0 || label.End > length) continue;
        if (!labels.empty() && label.Start < labels.back().End + kRulerLabelSpace) fits = false;
        labels.push_back(std::move(label));
      }
      if (!fits) continue;

      out.Labels = std::move(labels);
      out.Step = step;
      out.Subdivisions = 1;
      for (const int32_t n : SubdivisionChoices(units, mantissa, exponent)) {
        // Pixel ticks fall on whole pixels only.
        if (units == ruPixel && std::fmod(step, n) != 0) continue;
        if (spacing / n >= kRulerMinTickSpace) {
          out.Subdivisions = n;
          break;
        }
      }
      const int32_t n = out.Subdivisions;
      const double minor = step / n;
      const double j0 = std::floor(v0 / minor), j1 = std::ceil(v1 / minor);
      for (double j = j0; j <= j1; ++j) {
        const int32_t pos = pixelOf(j * minor);
        if (pos < 0 || pos >= length) continue;
        const int64_t k = static_cast<int64_t>(j) % n;
        const int64_t phase = k < 0 ? k + n : k;
        const int32_t level = phase == 0 ? 0 : (n % 2 == 0 && phase == n / 2) ? 1 : 2;
        out.Ticks.push_back({pos, level});
      }
      return out;
    }
  }
  return out;
}

TRsRuler::TRsRuler(TRulerOrientation orientation, QWidget* parent) : QWidget(parent), orientation_(orientation) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (orientation_ == TRulerOrientation::Horizontal) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  } else {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  }
}

const QColor& TRsRuler::FaceColor() {
  static const QColor c(240, 240, 240);
  return c;
}
const QColor& TRsRuler::TickColor() {
  static const QColor c(0, 0, 0);
  return c;
}
const QColor& TRsRuler::HairLineColor() {
  static const QColor c(0, 0, 255);
  return c;
}

QSize TRsRuler::sizeHint() const {
  return orientation_ == TRulerOrientation::Horizontal ? QSize(100, kThickness) : QSize(kThickness, 100);
}

int32_t TRsRuler::Length() const { return orientation_ == TRulerOrientation::Horizontal ? width() : height(); }

void TRsRuler::SetUnits(TRulerUnit units) {
  if (units == units_) return;
  units_ = units;
  update();
}

void TRsRuler::SetOffset(float millimetres) {
  if (millimetres == offset_) return;
  offset_ = millimetres;
  update();
}

void TRsRuler::SetScreenDpm(float pixelsPerMm) {
  if (pixelsPerMm == dpm_) return;
  dpm_ = pixelsPerMm;
  update();
}

void TRsRuler::SetHairLinePos(int32_t pixel) {
  if (pixel == hairLine_) return;
  const int32_t old = hairLine_;
  hairLine_ = pixel;
  if (!hairLineVisible_) return;
  // Only the two lines change.
  for (const int32_t p : {old, pixel}) {
    if (orientation_ == TRulerOrientation::Horizontal) {
      update(p, 0, 1, height());
    } else {
      update(0, p, width(), 1);
    }
  }
}

void TRsRuler::SetHairLineVisible(bool visible) {
  if (visible == hairLineVisible_) return;
  hairLineVisible_ = visible;
  update();
}

TRulerLayout TRsRuler::Layout() const {
  const QFontMetrics metrics(LabelFont(font()));
  return LayoutRuler(units_, offset_, dpm_, Length(), [&](const std::string& text) {
    return static_cast<int32_t>(metrics.horizontalAdvance(QString::fromStdString(text)));
  });
}

void TRsRuler::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), FaceColor());
  const bool horizontal = orientation_ == TRulerOrientation::Horizontal;
  const int32_t thickness = horizontal ? height() : width();
  const QFont labelFont = LabelFont(font());
  painter.setFont(labelFont);
  painter.setPen(TickColor());
  const TRulerLayout layout = Layout();
  // Ticks stand on the edge next to the document: numbered ones across the whole ruler, half-way
  // ones half of it, the others a quarter.
  for (const TRulerTick& t : layout.Ticks) {
    const int32_t size = t.Level == 0 ? thickness : t.Level == 1 ? thickness / 2 : thickness / 4;
    if (horizontal) {
      painter.fillRect(t.Pos, thickness - size, 1, size, TickColor());
    } else {
      painter.fillRect(thickness - size, t.Pos, size, 1, TickColor());
    }
  }
  const QFontMetrics metrics(labelFont);
  for (const TRulerLabel& l : layout.Labels) {
    const QString text = QString::fromStdString(l.Text);
    if (horizontal) {
      painter.drawText(QPoint(l.Start, 1 + metrics.ascent()), text);
    } else {
      // Read from top to bottom, so the text runs along the ruler like the horizontal one.
      painter.save();
      painter.translate(1 + metrics.descent(), l.Start);
      painter.rotate(90);
      painter.drawText(QPoint(0, 0), text);
      painter.restore();
    }
  }
  if (hairLineVisible_ && hairLine_ >= 0 && hairLine_ < Length()) {
    if (horizontal) {
      painter.fillRect(hairLine_, 0, 1, thickness, HairLineColor());
    } else {
      painter.fillRect(0, hairLine_, thickness, 1, HairLineColor());
    }
  }
}

TRsRulerCorner::TRsRulerCorner(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TRsRulerCorner::sizeHint() const { return QSize(TRsRuler::kThickness, TRsRuler::kThickness); }

void TRsRulerCorner::SetUnits(TRulerUnit units) {
  if (units == units_) return;
  units_ = units;
  update();
}

void TRsRulerCorner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), TRsRuler::FaceColor());
  painter.setPen(TRsRuler::TickColor());
  painter.setFont(LabelFont(font()));
  painter.drawText(rect(), Qt::AlignCenter, QString::fromLatin1(RulerUnitName(units_)));
}

}  // namespace sw
