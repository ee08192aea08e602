// Pen strokes drawn with the mouse while the document edits the shape in place: each press starts a
// stroke, moves add points more than 0.5 mm apart, the release ends it. The strokes are stored
// points drawn as open outline bands of OutlineWidth in OutlineColor; the box follows the strokes.
//
// Ending a drawing. An edit that ends without a stroke of two points leaves no shape behind:
// - when the shape ends the edit itself (a key, the right button, a release without AutoRestart),
//   it asks its document to end the edit and then, once EndEdit has returned, deletes itself from
//   its parent as the last thing it does (the deletion joins the drawing's undo step);
// - when something else ends the edit (the document's EndEditing), EndEdit only marks the shape
//   (RemovalPending) and, when the document has timers, deletes it from its parent at the next
//   timer tick; a shape destroyed before that takes its timer along. A marked shape without timer
//   or without parent is for its owner to remove.
// Cancelling an edit (Escape) restores the strokes the shape had when the edit began.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "shapes/polygon_shape.h"

namespace sw {

class ITimer;
class TdtpDocument;

class TdtpFreehandShape : public TdtpPolygonShape {
public:
  // Stored points, open contours, no fill: strokes as 0.5 mm outline bands.
  TdtpFreehandShape();
  ~TdtpFreehandShape() override;

  static const char* StaticClassName() { return "TdtpFreehandShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  // After a stroke ends the shape waits for the next one instead of ending the edit.
  bool AutoRestart = true;

  // Between BeginEdit and EndEdit.
  bool Editing() const { return editing_; }
  // The mouse button is held.
  bool Drawing() const { return drawing_; }
  // The last recorded point, local millimetres.
  TFloatPoint LastPoint() const { return last_; }
  // True when some contour has two points or more.
  bool HasStroke() const;
  // The last edit ended without a stroke and the shape waits to be deleted (see the header).
  bool RemovalPending() const { return removal_; }

  // --- Overridden operations ---

  // Opens the undo group all strokes of this edit go into.
  void BeginEdit() override;
  // Trims trailing contours without a stroke; removes the shape when it has no stroke left.
  void EndEdit(bool accepted) override;
  // Escape and Cancel cancel; Space closes the strokes and ends; Tab, Enter, Execute and F2 end.
  void EditKeyDown(uint16_t key, uint16_t shift) override;
  // Right button: ends the edit; any other button starts a stroke.
  void EditMouseDown(int button, uint16_t shift, int32_t x, int32_t y) override;
  void EditMouseMove(uint16_t shift, int32_t x, int32_t y) override;
  void EditMouseUp(int button, uint16_t shift, int32_t x, int32_t y) override;
  // Reuses the last contour (emptied) while it has fewer than 2 points.
  void NewContour() override;
  // None while being edited.
  void DrawHandles(TCanvas& canvas) override;
  // The points are the shape's data.
  void GeneratePoints() override {}
  void SetSize(float width, float height) override;
  // "Points" (undo of a drawing: the box and all strokes) besides the inherited keys.
  void SetPropertyByName(const std::string& name, const std::string& value) override;
  void LoadFromXml(const TXmlNode* node) override;
  void SaveToXml(TXmlNode& node) const override;

private:
  // Algorithm of a new stroke point: appended, then the box fitted round the strokes.
  void AddStrokePoint(TFloatPoint local);
  // Records the strokes and box once per edit, before the first change.
  void RecordStrokesOnce();
  // The box and the strokes as undo text, and back (the box placed without scaling the strokes).
  std::string EncodeStrokes() const;
  void ApplyStrokes(const std::string& text);
  // Ends the edit from one of the shape's own handlers. Must be the handler's last statement:
  // the shape may be deleted when it returns.
  void FinishDrawing(bool accepted);
  // Deletes this shape from its parent, then closes the drawing's undo group when still open.
  void RemoveSelf();
  void ScheduleRemoval();
  // Sets the box without scaling the points.
  void PlaceBox(float left, float top, float width, float height);

  TFloatPoint last_;
  bool editing_ = false;
  bool drawing_ = false;
  bool recorded_ = false;
  bool fitting_ = false;
  bool selfEnding_ = false;
  bool removal_ = false;
  // The document whose undo group BeginEdit opened; null when none is open.
  TdtpDocument* undoDocument_ = nullptr;
  // The strokes when the edit began, restored by a cancel.
  std::string startState_;
  std::unique_ptr<ITimer> removalTimer_;
};

}  // namespace sw
