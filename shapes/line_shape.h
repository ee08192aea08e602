// A straight line between two end points, drawn as one filled polygon: a band of LineWidth
// between the two ends with an arrow head of one of six styles at either end. The end points are
// held normalised to the shape's box, so moving or resizing the box carries the line along; the
// box always spans the two end points (a zero extent is widened to 1 mm).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shapes/polygon_shape.h"

namespace sw {

class TdtpLineShape;
class TXmlNode;

enum TdtpArrowStyle : uint8_t {
  asNoArrow = 0,
  asArrow = 1,
  asOpenArrow = 2,
  asStealthArrow = 3,
  asDiamond = 4,
  asOval = 5,
};

// The style's name as files store it ("NoArrow", "Arrow", ...).
const char* ArrowStyleName(TdtpArrowStyle style);
// The style whose name is exactly text; false (style untouched) for any other text.
bool ArrowStyleFromName(std::string_view text, TdtpArrowStyle& style);

// The head at one end of a line. The line owns its two arrows; an arrow only points back at it.
class TdtpArrow {
public:
  explicit TdtpArrow(TdtpLineShape* owner) : owner_(owner) {}
  TdtpArrow(const TdtpArrow&) = delete;
  TdtpArrow& operator=(const TdtpArrow&) = delete;

  TdtpArrowStyle Style() const { return style_; }
  // Styles outside the six are ignored; a change repaints the owner.
  void SetStyle(TdtpArrowStyle value);
  float Width() const { return width_; }
  // Millimetres across the head; non-finite values are ignored.
  void SetWidth(float value);
  float Length() const { return length_; }
  // Millimetres along the line; non-finite values are ignored.
  void SetLength(float value);

  // The style drawn on a line body lineWidth wide: NoArrow unless the head is wider than the body
  // and has a positive width and length.
  TdtpArrowStyle DrawnStyle(float lineWidth) const;

  // "Style" (a name that is not one of the six leaves the style), "Width" and "Length" (default 0).
  void LoadFromXml(const TXmlNode& node);
  void SaveToXml(TXmlNode& node) const;

private:
  void OwnerChanged();

  TdtpLineShape* owner_;
  TdtpArrowStyle style_ = asNoArrow;
  float width_ = 5;
  float length_ = 7;
};

// Appends the outline run of a head at tip seen from other (local millimetres) to contour: from the
// base of the head on one side of the body round the head to the other side. lineWidth is the
// body's width, scale the target pixels per millimetre for the curved heads. Nothing for a tip on
// top of other.
void AppendArrowRun(TdtpContour& contour, const TdtpArrow& arrow, const TFloatPoint& tip, const TFloatPoint& other,
                    float lineWidth, double scale);

class TdtpLineShape : public TdtpPolygonShape {
public:
  // From the box's top-left to its bottom-right corner, 1 mm wide, black, without heads.
  TdtpLineShape();
  ~TdtpLineShape() override;

  static const char* StaticClassName() { return "TdtpLineShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  // Number of end points: 2, or fewer for a line loaded without them.
  virtual int PointCount() const { return static_cast<int>(ends_.size()); }
  // End point k in the parent's millimetres, unturned: (DocLeft + u x width, DocTop + v x height);
  // (0, 0) for an index outside the list.
  TFloatPoint EndPoint(int k) const;
  // Moves end point k (0 or 1, when the line has it) to p in the parent's millimetres and re-fits
  // the box round the end points. Non-finite points are ignored. Undo key "Points".
  void SetEndPoint(int k, const TFloatPoint& p);
  // The normalised end points (u, v).
  const std::vector<TFloatPoint>& NormalisedEndPoints() const { return ends_; }
  // Arrow 0 or 1; null otherwise.
  TdtpArrow* Arrow(int k);
  const TdtpArrow* Arrow(int k) const;

  float LineWidth() const { return lineWidth_; }
  // Millimetres, at least 0; non-finite values are ignored. Undo key "LineWidth".
  void SetLineWidth(float value);

  // --- Overridden operations ---

  // A rectangle drawn right to left or bottom to top turns the line round on that axis.
  void SetBoundsRect(const TFloatRect& rect) override;
  // A drag of an end-point handle moves that end point alone; any other drag moves the box.
  void ApplyDrag() override;
  // A point handle per end point (mirrored and flipped as the line is drawn) joined by body lines.
  void UpdateHandles() override;
  // A dotted XOR line from the rectangle's top-left to its bottom-right corner.
  void DrawRubberRect(TCanvas& canvas, const TRect& rect, TColor32 color) override;
  // Turns the end points by the angle about the box's top-left corner and re-fits the box; the
  // shape's own angle stays. Undo key "Points".
  void SetAngle(float value) override;
  // The body and both heads as one closed contour; unchanged while the end points coincide.
  void GeneratePoints() override;
  void SetPropertyByName(const std::string& name, const std::string& value) override;
  void LoadFromXml(const TXmlNode* node) override;
  void SaveToXml(TXmlNode& node) const override;

  // Called by the arrows when they change.
  void ArrowChanged();

private:
  // The end points in the parent's millimetres.
  std::vector<TFloatPoint> AbsoluteEndPoints() const;
  // Makes the absolute points the end points: with two or more, the box is set to span them (a
  // zero extent widened to 1 mm); fewer are normalised to the current box (0 on an axis where it
  // has no positive size). Points whose box would not be finite are refused.
  void PlaceEndPoints(const std::vector<TFloatPoint>& points);
  // Records the current absolute end points under "Points".
  void RecordEndPoints();
  // The end points become points (absolute) as one undo step, repainted and announced.
  void MoveEndPoints(const std::vector<TFloatPoint>& points);

  TdtpArrow arrows_[2];
  std::vector<TFloatPoint> ends_;
  float lineWidth_ = 1;
};

}  // namespace sw
