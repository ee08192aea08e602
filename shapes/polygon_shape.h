// The polygon family: point lists in local millimetres drawn as an antialiased even-odd fill with
// an outline band, a hairline or a dashed black-and-white outline. Rectangles, ellipses and
// rounded rectangles generate their points from the shape's size (and, for curves, from the paint
// resolution); lines and freehand strokes build on the same class.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "raster/polygon32.h"
#include "shapes/effect_shape.h"

namespace sw {

// One contour of a polygon shape, in local millimetres.
using TdtpContour = std::vector<TFloatPoint>;

// Generated curves never hold more points than this per contour, whatever the resolution.
constexpr int32_t kMaxCurvePoints = 10000;

// Segments per quarter arc for an arc length v in target pixels: 1 when v <= 0.5, 2 below 3,
// 3 below 7, then ceil(v / 5), or ceil(v / 10) from 100 on. A non-finite or negative v counts as
// 0; the count is capped so that four quarters stay within kMaxCurvePoints.
int32_t ArcSegmentCount(double v);
// The unit quarter arc (cos(i pi / 2n), sin(i pi / 2n)) for i = 0 .. n, exactly (1, 0) and
// (0, 1) at the ends; n below 1 counts as 1.
std::vector<TFloatPoint> UnitQuarterArc(int32_t n);

class TdtpPolygonShape : public TdtpEffectShape {
public:
  // 40 x 30 mm, blue fill, black 0.5 mm outline, curbs of 0.25 mm.
  TdtpPolygonShape();
  ~TdtpPolygonShape() override;

  static const char* StaticClassName() { return "TdtpPolygonShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  // --- Point operations ---

  // Bounding rectangle of all points; (0, 0, 0, 0) without points.
  virtual void PointsBounds(TFloatRect& rect) const;
  // Moves the points' box to rect's top-left corner, scaled to its size when both the box and
  // rect have positive width and height.
  virtual void FitPointsToRect(const TFloatRect& rect);
  // Rebuilds the points from the shape's size; the plain polygon's points are its data.
  virtual void GeneratePoints() {}
  // Nothing when both are 0.
  virtual void OffsetPoints(float dx, float dy);
  virtual void ScalePoints(float sx, float sy);
  // Builds the fill and outline polygons in target pixels from the points and the paint matrix.
  virtual void RebuildPolygons();
  // Appends to the last contour.
  virtual void AddPoint(const TFloatPoint& p);
  void AddPoint(float x, float y) { AddPoint(TFloatPoint{x, y}); }
  // Leaves exactly one empty contour.
  virtual void ClearPoints();
  virtual void NewContour();

  const std::vector<TdtpContour>& Points() const { return points_; }
  // The polygons of the last rebuild (the fill empty before the first; the outline null without
  // a band).
  const TPolygon32* FillPolygon() const { return fill_.get(); }
  const TPolygon32* OutlinePolygon() const { return outline_.get(); }
  bool GeometryDirty() const { return dirty_; }
  void MarkGeometryDirty() { dirty_ = true; }
  // True when the local point lies inside the contours by the even-odd rule (contours of fewer
  // than 3 points hold nothing).
  bool ContainsLocalPoint(const TFloatPoint& p) const;

  // --- Properties (setters do nothing when the value is unchanged or not finite) ---

  int32_t FillAlpha() const { return fillAlpha_; }
  // Clamped to 0..255; undo key "FillAlpha".
  void SetFillAlpha(int32_t value);
  TdtpColor FillColor() const { return fillColor_; }
  // Window-system colour (0x00BBGGRR or a system-colour reference); undo key "FillColor".
  void SetFillColor(TdtpColor value);
  TdtpColor OutlineColor() const { return outlineColor_; }
  void SetOutlineColor(TdtpColor value);
  float OutlineWidth() const { return outlineWidth_; }
  // Millimetres; 0 or less is a hairline. The curbs follow (half the width, at least 0.1 mm).
  void SetOutlineWidth(float value);
  bool IsClosed() const { return isClosed_; }
  void SetIsClosed(bool value);
  bool UseFill() const { return useFill_; }
  void SetUseFill(bool value);
  bool UseOutline() const { return useOutline_; }
  void SetUseOutline(bool value);
  bool UseStipple() const { return useStipple_; }
  // Records no undo.
  void SetUseStipple(bool value);
  float StippleSize() const { return stippleSize_; }
  // Millimetres of one dash period; 0 or less, or not finite, draws no dashes.
  void SetStippleSize(float value);
  bool StorePoints() const { return storePoints_; }
  // True: the points are the shape's data (stored, scaled on resize); false: generated.
  void SetStorePoints(bool value);

  // --- Overridden operations of the shape ---

  void ClearShapes() override;
  void SetSize(float width, float height) override;
  void SetPropertyByName(const std::string& name, const std::string& value) override;
  void SetPaintMatrix(const TdtpAffineTransform& matrix) override;
  // All contours in window pixels joined into one even-odd figure; empty without document.
  TdtpRegion ShapeRegion() const override;
  void AdjustCurbs(float& left, float& top, float& right, float& bottom) const override;
  void LoadFromXml(const TXmlNode* node) override;
  void SaveToXml(TXmlNode& node) const override;
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) override;

protected:
  // The paint matrix's x scale, 1 when it is 0 or not finite: pixels per millimetre for curves.
  double CurveScale() const;
  // Width and height with non-finite values read as 0.
  float SafeWidth() const;
  float SafeHeight() const;
  // Regenerates the points of a generated kind; nothing when they are stored.
  void EnsureGeneratedPoints() const;
  // Traces the contours with stippled lines onto bitmap.
  void DrawStipple(TBitmap32& bitmap) const;

  std::vector<TdtpContour> points_;

private:
  std::unique_ptr<TPolygon32> fill_;
  std::unique_ptr<TPolygon32> outline_;
  int32_t fillAlpha_ = 255;
  TdtpColor fillColor_ = 0xFF0000;
  TdtpColor outlineColor_ = 0;
  float outlineWidth_ = 0.5f;
  float stippleSize_ = 2.0f;
  bool isClosed_ = true;
  bool useFill_ = true;
  bool useOutline_ = true;
  bool useStipple_ = false;
  bool storePoints_ = false;
  bool dirty_ = false;
};

// Points (0, 0), (0, H), (W, H), (W, 0).
class TdtpRectangleShape : public TdtpPolygonShape {
public:
  TdtpRectangleShape();
  static const char* StaticClassName() { return "TdtpRectangleShape"; }
  const char* ClassName() const override { return StaticClassName(); }
  void GeneratePoints() override;
};

// 4n points clockwise from the right end of the horizontal axis, n from the paint resolution.
class TdtpEllipseShape : public TdtpPolygonShape {
public:
  TdtpEllipseShape();
  static const char* StaticClassName() { return "TdtpEllipseShape"; }
  const char* ClassName() const override { return StaticClassName(); }
  void GeneratePoints() override;
};

// Four quarter-arc corners, each at most half the width and half the height.
class TdtpRoundRectShape : public TdtpPolygonShape {
public:
  // Corners a quarter of the size (10 x 7.5 mm).
  TdtpRoundRectShape();
  static const char* StaticClassName() { return "TdtpRoundRectShape"; }
  const char* ClassName() const override { return StaticClassName(); }
  void GeneratePoints() override;

  float CornerWidth() const { return cornerWidth_; }
  // Millimetres, or percent of the width with CornerPropertiesArePercentage; undo key "CornerWidth".
  void SetCornerWidth(float value);
  float CornerHeight() const { return cornerHeight_; }
  void SetCornerHeight(float value);
  bool CornerPropertiesArePercentage() const { return cornerPercent_; }
  void SetCornerPropertiesArePercentage(bool value);

  void SetPropertyByName(const std::string& name, const std::string& value) override;
  void LoadFromXml(const TXmlNode* node) override;
  void SaveToXml(TXmlNode& node) const override;

private:
  float cornerWidth_ = 10;
  float cornerHeight_ = 7.5f;
  bool cornerPercent_ = false;
};

}  // namespace sw
