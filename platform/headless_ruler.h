// Rulers without a screen: they keep what the document set, for tests of the view.
#pragma once

#include "platform/ruler.h"

namespace sw {

class THeadlessRuler : public IRuler {
public:
  explicit THeadlessRuler(TRulerOrientation orientation) : orientation_(orientation) {}

  void SetUnits(TRulerUnit units) override { units_ = units; ++changes_; }
  TRulerUnit Units() const override { return units_; }
  void SetOffset(float millimetres) override { offset_ = millimetres; ++changes_; }
  float Offset() const override { return offset_; }
  void SetScreenDpm(float pixelsPerMm) override { dpm_ = pixelsPerMm; ++changes_; }
  float ScreenDpm() const override { return dpm_; }
  void SetHairLinePos(int32_t pixel) override { hairLine_ = pixel; ++changes_; }
  int32_t HairLinePos() const override { return hairLine_; }
  void SetHairLineVisible(bool visible) override { hairLineVisible_ = visible; ++changes_; }
  bool HairLineVisible() const override { return hairLineVisible_; }
  TRulerOrientation Orientation() const override { return orientation_; }

  // Calls of any setter so far.
  int32_t Changes() const { return changes_; }

private:
  TRulerOrientation orientation_;
  TRulerUnit units_ = ruMilli;
  float offset_ = 0;
  float dpm_ = 0;
  int32_t hairLine_ = -1;
  bool hairLineVisible_ = true;
  int32_t changes_ = 0;
};

class THeadlessRulerCorner : public IRulerCorner {
public:
  void SetUnits(TRulerUnit units) override { units_ = units; ++changes_; }
  TRulerUnit Units() const override { return units_; }
  int32_t Changes() const { return changes_; }

private:
  TRulerUnit units_ = ruMilli;
  int32_t changes_ = 0;
};

}  // namespace sw
