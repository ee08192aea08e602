// Rulers beside the document window (TRsRuler) and the corner piece where they meet
// (TRsRulerCorner), driven by the document through IRuler and IRulerCorner. A ruler shows
// centimetres, millimetres, inches or screen pixels; its numbers are spaced so that they never
// overlap, whatever the resolution.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ruler.h"

namespace sw {

// Where the ticks and numbers of a ruler go, worked out without painting.
struct TRulerTick {
  int32_t Pos = 0;    // pixel along the ruler
  int32_t Level = 0;  // 0 a numbered tick, 1 a half-way tick, 2 a minor tick
};
struct TRulerLabel {
  int32_t Pos = 0;  // the numbered tick's pixel
  std::string Text;
  int32_t Start = 0, End = 0;  // the pixels the text covers along the ruler, End exclusive
};
struct TRulerLayout {
  std::vector<TRulerTick> Ticks;
  std::vector<TRulerLabel> Labels;
  double Step = 0;           // units between numbers; 0 when nothing is shown
  int32_t Subdivisions = 0;  // tick intervals per number
};

// Pixels between a numbered tick and its text, and free pixels between one text and the next.
constexpr int32_t kRulerLabelGap = 2;
constexpr int32_t kRulerLabelSpace = 4;
// Ticks are never closer than this many pixels.
constexpr int32_t kRulerMinTickSpace = 4;

// The ticks and numbers over pixels [0, length) of a ruler whose pixel 0 is offsetMm and which has
// dpm pixels per millimetre; textWidth measures a number's text in pixels. Numbers are placed at
// multiples of the smallest step of 1, 2 or 5 times a power of ten (for pixels at least 1) at
// which no two texts come closer than kRulerLabelSpace; only texts wholly on the ruler are
// listed. ruNone, a resolution that is not positive and finite, an offset
// that is not finite, or an offset so far out that whole steps can no longer be told apart give
// an empty layout.
TRulerLayout LayoutRuler(TRulerUnit units, double offsetMm, double dpm, int32_t length,
                         const std::function<int32_t(const std::string&)>& textWidth);

class TRsRuler : public QWidget, public IRuler {
  Q_OBJECT

public:
  static constexpr int32_t kThickness = 20;

  explicit TRsRuler(TRulerOrientation orientation, QWidget* parent = nullptr);

  void SetUnits(TRulerUnit units) override;
  TRulerUnit Units() const override { return units_; }
  void SetOffset(float millimetres) override;
  float Offset() const override { return offset_; }
  void SetScreenDpm(float pixelsPerMm) override;
  float ScreenDpm() const override { return dpm_; }
  void SetHairLinePos(int32_t pixel) override;
  int32_t HairLinePos() const override { return hairLine_; }
  void SetHairLineVisible(bool visible) override;
  bool HairLineVisible() const override { return hairLineVisible_; }
  TRulerOrientation Orientation() const override { return orientation_; }

  // The layout the ruler paints at its present size.
  TRulerLayout Layout() const;
  QSize sizeHint() const override;

  static const QColor& FaceColor();
  static const QColor& TickColor();
  static const QColor& HairLineColor();

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  int32_t Length() const;

  TRulerOrientation orientation_;
  TRulerUnit units_ = ruMilli;
  float offset_ = 0;
  float dpm_ = 5.905512f;
  int32_t hairLine_ = -1;
  bool hairLineVisible_ = true;
};

class TRsRulerCorner : public QWidget, public IRulerCorner {
  Q_OBJECT

public:
  explicit TRsRulerCorner(QWidget* parent = nullptr);

  void SetUnits(TRulerUnit units) override;
  TRulerUnit Units() const override { return units_; }
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  TRulerUnit units_ = ruMilli;
};

}  // namespace sw
