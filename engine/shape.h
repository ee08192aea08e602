// TdtpShape: everything that lies on a page, and the page itself. A shape is a rectangle in
// millimetres placed in its parent's frame (position, size, rotation about its local origin); it
// owns its children, which live in its own frame. Shape kinds override the virtual operations by
// name. A shape without a document works on its own but records no undo, announces nothing and
// paints nowhere.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fonts.h"
#include "raster/bitmap32.h"
#include "raster/color32.h"
#include "raster/geometry.h"
#include "raster/transform.h"

namespace sw {

class TCanvas;
class TXmlNode;
class TdtpDocument;
class TdtpCommand;
class TdtpHandlePainter;
class TPopupMenu;

// Anchors: how a child follows a resize of its grouped parent. The values are stored in files.
using TdtpAnchors = uint16_t;
enum TdtpAnchor : uint16_t {
  anDefault = 1,
  anPosXProp = 2,
  anPosYProp = 4,
  anSizeXProp = 8,
  anSizeYProp = 16,
  anLeftLock = 32,
  anTopLock = 64,
  anRightLock = 128,
  anBottomLock = 256,
};
constexpr TdtpAnchors kDefaultAnchors = anDefault | anLeftLock | anTopLock;  // 97

// Font style bits (fsBold, fsItalic, fsUnderline, fsStrikeOut) are the platform's TFontStyleBit;
// the undo recorder spells them "B", "I", "U", "S".
using TdtpFontStyle = TFontStyleBit;

// Undo command kinds a shape records.
enum TdtpCommandKind : int32_t { ckProperty = 0, ckInsert = 1, ckDelete = 2 };

// Every rendering cache has a margin of this many pixels on each side, cleared to its background:
// the map sampler interpolates between neighbours and reads only strictly inside its source, so a
// shape's outermost pixels need a neighbour to fade to. Pixel (0, 0) of a cache lies a margin out.
constexpr int32_t kCacheMargin = 1;

// Deepest nesting of shapes a page may hold; loading deeper raises kNestingError.
constexpr int kMaxShapeDepth = 256;
// The most shapes one shape (a page, a group) holds when read from a file.
constexpr int kMaxChildShapes = 5000;
// Curbs (the margins a shape's paint may reach beyond its box) are held within this many mm.
constexpr float kMaxCurb = 100;
constexpr const char kNestingError[] = "Shapes are nested too deeply";

// Size limits in millimetres; 0 means no limit.
struct TFloatSizeConstraint {
  float MinHeight = 0;
  float MinWidth = 0;
  float MaxHeight = 0;
  float MaxWidth = 0;
};

enum TDeviceType : uint8_t { dtScreen = 0, dtPrinter = 1, dtTransparent = 2 };

class TdtpShape;

// The pixel grid a paint lays its shapes on while it paints Target: grid pixel = mm in Frame's
// parent x Dpm + Shift, and Target's pixel (0, 0) is grid pixel Origin. The window's grid moves
// with the content on whole-pixel scrolls and does not depend on the clip, so every piece of the
// window maps alike; a print's grid is fixed to the printed page's corner (Frame is the page, and
// where the view has placed it never moves a print), so every band samples the same columns.
struct TdtpPaintGrid {
  const TBitmap32* Target = nullptr;
  const TdtpShape* Frame = nullptr;  // whose own placement the grid leaves out; null: none
  double Dpm = 1;
  double ShiftX = 0, ShiftY = 0;
  int64_t OriginX = 0, OriginY = 0;
};

// What a paint is for: the window (with the page's grid, margins, frame and the shapes'
// overlays), a device or picture (the page as printed), or a device without the page colour.
enum class TPaintMode : uint8_t { Screen, Device, DeviceWithoutPageColor };

// What the paint calls pass down (built by the view, the page thumbnails and printing): all the
// state a paint job needs travels here, none of it in the document's fields.
struct TdtpPaintInfo {
  TPaintMode Mode = TPaintMode::Screen;
  TColor32 BackColor = 0;  // colour a cache is cleared with
  float Dpm = 0;           // pixels per millimetre wanted for caches
  uint8_t Filter = 0;      // stretch filter for resampling
  bool FreeCacheAfter = false;
  bool ExactDpm = false;
  TDeviceType Device = dtScreen;          // a printer's paint decodes pictures only as finely as it lays them
  const TdtpPaintGrid* Grid = nullptr;    // the grid of the paint running now, if it has one
};

// The proposal computed while a handle is dragged (filled by the mouse handling).
struct TdtpDragState {
  float Angle = 0;
  int32_t Handle = -1;  // -1 = none
  float Left = 0, Top = 0, Width = 0, Height = 0;
  TdtpAffineTransform Matrix;
};

// A screen polygon (window pixels) standing for a platform region: the four corners in the order
// top-left, bottom-left, bottom-right, top-right of the local rectangle. Empty means "no region".
using TdtpRegion = std::vector<TFloatPoint>;
// Point containment with the alternate (even-odd) rule of platform regions; false when empty.
bool RegionContains(const TdtpRegion& region, double x, double y);

using TdtpShapeEvent = std::function<void(class TdtpShape* sender)>;

class TdtpShape {
public:
  TdtpShape();
  // Frees the children, the handle painter and the cache. Detaching from the document is the
  // parent's job (DeleteChild); a shape destroyed while still a child is a caller error.
  virtual ~TdtpShape();
  TdtpShape(const TdtpShape&) = delete;
  TdtpShape& operator=(const TdtpShape&) = delete;

  // The class name stored in files and used by the registry ("TdtpShape").
  static const char* StaticClassName() { return "TdtpShape"; }
  virtual const char* ClassName() const { return StaticClassName(); }

  // --- Virtual operations (the shape kinds override them by name) ---

  virtual int ChildCount() const;
  // The child at index; null outside the range.
  virtual TdtpShape* Child(int index) const;
  virtual void SetHeight(float value);
  virtual void SetLeft(float value);
  virtual void SetTop(float value);
  virtual void SetWidth(float value);
  // Clamped to 0..255; records "MasterAlpha", invalidates and announces when different.
  virtual void SetMasterAlpha(int64_t value);
  // Adds the names of the archive streams this shape and its subtree use.
  virtual void ListResources(std::vector<std::string>& names) const;

  // Undo recorders: nothing is recorded without a document or while its undo is off.
  virtual void RecordFontStyle(int32_t kind, const std::string& name, uint8_t style);
  virtual void RecordFloat(int32_t kind, const std::string& name, double value);
  virtual void RecordInteger(int32_t kind, const std::string& name, int64_t value);
  virtual void RecordChange(int32_t kind, const std::string& name, const std::string& value);
  virtual void RecordBool(int32_t kind, const std::string& name, bool value);
  // Kind 2 only: records the child's removal with its snapshot.
  virtual void RecordChildSnapshot(int32_t kind, TdtpShape* child);

  // Snaps a local point through the parent (the page snaps to its grid); unchanged without parent.
  virtual TFloatPoint SnapPoint(const TFloatPoint& p);
  // Children at equal indexes with equal classes copy from each other; the events are copied.
  virtual void AssignFrom(const TdtpShape& source);
  virtual void FreeCache();
  // Applies the size limits and the aspect ratio; false (and the current size) when !AllowResize.
  virtual bool ConstrainSize(float& width, float& height);
  // Keeps the position of an immovable shape on a pure move; returns AllowMove.
  virtual bool ConstrainPosition(float& left, float& top, float width, float height);
  // Transparent pixels become opaque with their colour kept; all others become color.
  virtual void MakeHitMask(TBitmap32& bitmap, TColor32 color);
  // A drag of a handle kind of the shape's own (12 and above, or 0): on entry drag holds the local
  // offset (Left, Top), the scale (Width, Height) and the angle change (Angle) to change.
  virtual void DragCustomHandle(TdtpDragState& drag);
  // Marks the shape changed and announces it (deferred inside BeginUpdate; nothing while loading).
  virtual void Changed();
  // Creates the handle painter when needed and lets it rebuild the handles from the current size.
  virtual void UpdateHandles();
  virtual void AfterPaste() {}
  virtual void AfterLoad() {}
  virtual void Animate() {}
  virtual void Activate();
  virtual void EndEdit(bool accepted) { (void)accepted; }
  // Passes a load error to the document's OnLoadError.
  virtual void ReportError(const std::string& text);
  // Shrinks the shape to its children's bounds, keeping them where they are on the parent.
  virtual void FitToChildren();
  virtual TPopupMenu* EditPopupMenu() { return nullptr; }
  virtual bool NeedsPostProcess() const { return mirrored_ || flipped_; }
  // The hit kind of the handle or drag line under a window point and sets Drag.Handle to the
  // handle hit (-1 for a line); 0 when not selected, or for what AllowResize/AllowRotate forbid.
  virtual uint8_t HandleAt(const TPoint& p);
  // ScreenBounds united, when AllowSelect, with every handle's rectangle (rebuilds the handles).
  virtual void ScreenBoundsWithHandles(TRect& rect);
  virtual bool HitTestCache(const TPoint& p);
  virtual bool NeedsCache() const;
  // A cached shape that lays a picture it shares with other shapes (the copies of one design on a
  // sheet) returns it here, made at dpm for info with the cache extent the shape has at dpm,
  // instead of painting a cache of its own; null (the default) builds the shape's own cache.
  virtual std::shared_ptr<TBitmap32> SharedCache(float dpm, const TdtpPaintInfo& info) {
    (void)dpm, (void)info;
    return nullptr;
  }
  // True for a shape whose SharedCache always gives its picture: a print may then make that
  // picture once and place it wherever such shapes lie.
  virtual bool SharesCache() const { return false; }
  // The part of the shape's own frame that its laid cache may colour, when it is cut short (a
  // copy on a sheet ends at its cell); false lays the cache whole. The cut is laid as the bounds
  // of its corners on the target, which is exact for shapes upright or turned by quarter turns.
  virtual bool CacheClip(TFloatRect& local) const {
    (void)local;
    return false;
  }
  virtual std::string GetName() const { return name_; }
  virtual TFloatPoint PasteOffset() const { return {10, 10}; }
  // Union of the children's BoundsInParent without curbs; (0, 0, 0, 0) without children.
  virtual void ChildrenBounds(TFloatRect& rect) const;
  virtual void PaintCanvas(TCanvas& canvas, const TdtpPaintInfo& info) { (void)canvas, (void)info; }
  virtual void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) { (void)bitmap, (void)info; }
  // Mirrors and flips the painted bitmap as Mirrored and Flipped ask.
  virtual void PostProcess(TBitmap32& bitmap, const TdtpPaintInfo& info);
  // The handle painter's XOR drag feedback at the handles' drag positions; nothing without document.
  virtual void DrawDragOutline(TCanvas& canvas);
  virtual void AfterPaint(TBitmap32& bitmap) { (void)bitmap; }
  // A dotted rectangle in XOR mode with a pen of the colour and no fill.
  virtual void DrawRubberRect(TCanvas& canvas, const TRect& rect, TColor32 color);
  // UpdateHandles, then the painter draws the handles.
  virtual void DrawHandles(TCanvas& canvas);
  virtual void PaintOverlay(TBitmap32& bitmap, const TRect& rect) { (void)bitmap, (void)rect; }
  // Normalises into [0, 360) before comparing; records "DocAngle" when it changes.
  virtual void SetAngle(float value);
  virtual void SetPosition(float left, float top);
  virtual void SetSize(float width, float height);
  // Attaching to another document gives the shape (and its subtree) new identities.
  virtual void SetDocument(TdtpDocument* document);
  virtual void SetChanged(bool value);
  virtual void SetName(const std::string& value);
  virtual void SetParent(TdtpShape* parent);
  // Applies an undo command's property ("DocLeft", ... "MasterAlpha"); other names do nothing.
  virtual void SetPropertyByName(const std::string& name, const std::string& value);
  virtual void SetPaintMatrix(const TdtpAffineTransform& matrix) { paintMatrix_ = matrix; }
  // The four screen corners without curbs; empty without document.
  virtual TdtpRegion ShapeRegion() const;
  virtual void AdjustCurbs(float& left, float& top, float& right, float& bottom) const;
  virtual int StorageKind() const { return 3; }
  virtual void SetStorageKind(int kind) { (void)kind; }
  virtual void SetBoundsConstrained(float left, float top, float width, float height);
  virtual void ApplyDrag();
  virtual void SetBoundsRect(const TFloatRect& rect);
  virtual void ApplyConstraints();
  virtual void ScreenBounds(TRect& rect) const;
  // The four screen corners grown by the effective curbs; empty without document.
  virtual TdtpRegion ScreenRegion() const;
  virtual void FreeCaches();
  // From the last child down, deletes children until the first Protected one.
  virtual void ClearShapes();
  // Completed with the text shapes' placeholder group; does nothing until then.
  virtual void AddPlaceHolder() {}
  virtual void BeginEdit();
  virtual void LockAspect();
  virtual bool HitTest(const TPoint& p);
  // found: the deepest hit child, or this shape, or null (see the rules in the source).
  virtual bool HitTestDeep(const TPoint& p, TdtpShape*& found);
  virtual void Inflate(float dx, float dy);
  // Lets the document repaint the shape's screen area; caches are left alone.
  virtual void Invalidate();
  virtual void EditKeyDown(uint16_t key, uint16_t shift) { (void)key, (void)shift; }
  virtual void EditKeyPress(char16_t ch) { (void)ch; }
  virtual void EditKeyUp(uint16_t key, uint16_t shift) { (void)key, (void)shift; }
  // Reads the common node; a null node raises "XML Node is not assigned". Children that fail
  // are reported and removed (only when newly created); nesting is bounded by kMaxShapeDepth.
  virtual void LoadFromXml(const TXmlNode* node);
  virtual void EditDblClick(int button, uint16_t shift, int32_t x, int32_t y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  virtual void EditMouseDown(int button, uint16_t shift, int32_t x, int32_t y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  virtual void EditMouseMove(uint16_t shift, int32_t x, int32_t y) { (void)shift, (void)x, (void)y; }
  virtual void EditMouseUp(int button, uint16_t shift, int32_t x, int32_t y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  // True when this shape or one of its descendants took the command.
  virtual bool ApplyCommand(TdtpCommand* command);
  virtual void Refresh();
  // Writes the common node: ClassName first, then the common elements in the order stored files
  // have always had them (so a file saved again stays byte for byte the same), then the children.
  virtual void SaveToXml(TXmlNode& node) const;
  virtual void SetCurbs(float value);
  virtual void SetCurbsLTRB(float left, float top, float right, float bottom);
  virtual void SetBounds(float left, float top, float width, float height);
  // The one place geometry changes: re-lays out grouped children, records undo, announces.
  virtual void SetBoundsAndAngle(float left, float top, float width, float height, float angle);
  virtual void CenterAt(float x, float y);
  // Takes ownership and returns the index; -1 (ownership stays with the caller) for null, a shape
  // that already has a parent, this shape or one of its ancestors.
  virtual int AddChild(TdtpShape* shape);
  virtual void DeleteAllChildren();
  // Nothing for an index out of range.
  virtual void DeleteChild(int index);
  virtual void ExchangeChildren(int index1, int index2);
  // Detaches the child and hands it to the caller; null when it is not a child.
  virtual TdtpShape* ExtractChild(TdtpShape* shape);
  virtual int IndexOfChild(const TdtpShape* shape) const;
  // As AddChild at index (clamped to 0..ChildCount); false when refused (ownership stays).
  virtual bool InsertChild(int index, TdtpShape* shape);
  // Deletes that child; returns its former index, -1 when it is not a child.
  virtual int DeleteChildObject(TdtpShape* shape);
  virtual bool UsesCanvas() const { return false; }

  // --- Non-virtual operations ---

  // Owning conveniences: the shape is freed when refused.
  int AddChild(std::unique_ptr<TdtpShape> shape);
  bool InsertChild(int index, std::unique_ptr<TdtpShape> shape);

  // Index among the parent's children; -1 without parent.
  int ShapeIndex() const;
  // True when this shape is other or lies inside other's subtree.
  bool IsInside(const TdtpShape* other) const;
  // Nesting depth below the topmost ancestor (0 for a shape without parent).
  int Depth() const;

  void SetVisible(bool value);
  void SetSelected(bool value);
  void SetAllowSelect(bool value);
  void ShowPlaceHolder(bool value);
  void SetAnchors(TdtpAnchors value);
  void SetGrouped(bool value);
  void SetForceCache(bool value) { forceCache_ = value; }
  // A view-frame delta turned into this shape's local frame (rotations of every ancestor and of
  // the shape itself; no translation).
  TFloatPoint ViewDeltaToLocal(const TFloatPoint& d) const;
  // The proposal of a drag by the view delta with hit kind kind (Alt inverts the angle steps):
  // fills Drag (position, size and angle in the parent frame) and every handle's DragX/DragY, and
  // returns the drag matrix (old local positions to proposed ones), also kept in Drag.Matrix.
  TdtpAffineTransform ComputeDragProposal(const TFloatPoint& delta, bool alt, uint8_t kind);
  // Sets DocAngle keeping the centre of the rectangle fixed.
  void RotateAboutCentre(float angle);
  void SetBoundsLeft(float x);
  void SetBoundsTop(float y);
  // Axis-aligned bounds of the rectangle (optionally grown by the effective curbs) in the parent.
  TFloatRect BoundsInParent(bool withCurbs) const;

  // Coordinate conversions (see the header of shape.cpp for the frames).
  TFloatPoint LocalToParent(const TFloatPoint& p) const;
  TFloatPoint ParentToLocal(const TFloatPoint& p) const;
  TFloatPoint LocalToView(const TFloatPoint& p) const;
  // Window pixels (floats); without document the view millimetres themselves.
  TFloatPoint LocalToScreen(const TFloatPoint& p) const;
  TFloatPoint ScreenToLocal(const TFloatPoint& p) const;
  TFloatPoint LocalToPaint(const TFloatPoint& p) const;
  int32_t PaintX(float u) const;
  int32_t PaintY(float v) const;

  void BeginUpdate();
  // Raises "EndUpdate called more often than BeginUpdate" without its BeginUpdate (count stays 0).
  void EndUpdate();
  void InvalidateArea();
  void RefreshSelf();
  void MarkCacheStale();
  void UpdateCurbs();

  // The snapshot: resources and XML in one byte string (layout in shape.cpp).
  std::string SaveToString() const;
  // Refuses damaged or hostile input with a clear error before allocating; "" does nothing.
  void LoadFromString(const std::string& data);
  // ClearShapes, then the source's snapshot and AssignFrom.
  void Assign(const TdtpShape& source);

  std::string HintText() const;
  bool HintEnabled() const;

  // --- Properties ---

  TdtpDocument* Document() const { return document_; }
  TdtpShape* Parent() const { return parent_; }
  int32_t ShapeId() const { return shapeId_; }
  void SetShapeId(int32_t id) { shapeId_ = id; }

  float DocLeft() const { return docLeft_; }
  float DocTop() const { return docTop_; }
  float DocWidth() const { return docWidth_; }
  float DocHeight() const { return docHeight_; }
  float DocAngle() const { return docAngle_; }
  double Cos() const { return cos_; }
  double Sin() const { return sin_; }
  const std::string& Name() const { return name_; }
  uint32_t MasterAlpha() const { return masterAlpha_; }
  bool Visible() const { return visible_; }
  bool Selected() const { return selected_; }
  bool Grouped() const { return grouped_; }
  TdtpAnchors Anchors() const { return anchors_; }

  bool AllowEdit = true;
  bool AllowDelete = true;
  bool AllowResize = true;
  bool AllowMove = true;
  bool AllowRotate = true;
  bool AllowSelect() const { return allowSelect_; }
  // Width / height kept while PreserveAspect; used only when finite and positive.
  float AspectRatio = 0;
  bool PreserveAspect = false;
  bool Protected = false;
  bool Mirrored() const { return mirrored_; }
  void SetMirrored(bool value);
  bool Flipped() const { return flipped_; }
  void SetFlipped(bool value);
  bool ForceCache() const { return forceCache_; }
  bool ParentShowHint = false;
  bool ShowHint = false;
  std::string Hint;
  int16_t InsertCursor = -3;
  int32_t Tag = 0;
  TPopupMenu* PopupMenu = nullptr;
  TFloatSizeConstraint Constraints;

  float CurbLeft() const { return curbLeft_; }
  float CurbTop() const { return curbTop_; }
  float CurbRight() const { return curbRight_; }
  float CurbBottom() const { return curbBottom_; }
  // The curbs after AdjustCurbs and grouping.
  float EffectiveCurbLeft() const { return effCurbs_[0]; }
  float EffectiveCurbTop() const { return effCurbs_[1]; }
  float EffectiveCurbRight() const { return effCurbs_[2]; }
  float EffectiveCurbBottom() const { return effCurbs_[3]; }

  // The rendering cache; CacheDpm 0 means stale.
  TBitmap32* Cache() const { return cache_.get(); }
  void SetCache(std::unique_ptr<TBitmap32> cache) { cache_ = std::move(cache); }
  float CacheDpm = 0;
  const TdtpAffineTransform& PaintMatrix() const { return paintMatrix_; }
  bool IsChanged() const { return changed_; }
  TdtpHandlePainter* HandlePainter() const { return handlePainter_.get(); }
  void SetHandlePainter(std::unique_ptr<TdtpHandlePainter> painter);
  // Creates the painter on first need (the document's choice, else the stipple style) and points
  // it at this shape; a painter once made stays, whatever the document's HandlePainter says later.
  void EnsureHandlePainter();
  TdtpDragState Drag;

  TdtpShapeEvent OnChange;
  TdtpShapeEvent OnActivate;
  TdtpShapeEvent OnBoundsChanged;

protected:
  // Sets the angle field and its cosine and sine without any side effect.
  void StoreAngle(float angle);
  // Loads children of node at this shape's depth; used by LoadFromXml.
  void LoadChildrenFromXml(const TXmlNode& node);
  // Writes the children as "Shape" elements with their "Index".
  void SaveChildrenToXml(TXmlNode& node) const;
  // The one detach path: deselects, tells the document, clears parent and document.
  void DetachChild(TdtpShape* child);

  std::vector<std::unique_ptr<TdtpShape>> children_;
  TdtpDocument* document_ = nullptr;
  TdtpShape* parent_ = nullptr;

  float docLeft_ = 0, docTop_ = 0, docWidth_ = 0, docHeight_ = 0, docAngle_ = 0;
  double cos_ = 1, sin_ = 0;
  float curbLeft_ = 0, curbTop_ = 0, curbRight_ = 0, curbBottom_ = 0;
  std::array<float, 4> effCurbs_{0, 0, 0, 0};
  std::string name_;
  uint32_t masterAlpha_ = 255;
  TdtpAnchors anchors_ = kDefaultAnchors;
  bool visible_ = true;
  bool selected_ = false;
  bool allowSelect_ = true;
  bool grouped_ = false;
  bool mirrored_ = false;
  bool flipped_ = false;
  bool forceCache_ = false;
  bool changed_ = false;
  bool pendingChange_ = false;
  int32_t updateCount_ = 0;
  int32_t shapeId_ = 0;
  std::unique_ptr<TBitmap32> cache_;
  TdtpAffineTransform paintMatrix_;
  std::unique_ptr<TdtpHandlePainter> handlePainter_;
};

// The anchor rule of one axis: the child's position p and size s in a parent resized from s0 to s1.
void AnchorAxis(bool propPos, bool propSize, bool nearLock, bool farLock, double s0, double s1,
                double& p, double& s);

// A non-finite value read from a file or passed by a caller becomes the fallback.
inline float FiniteOr(double value, float fallback) {
  return std::isfinite(value) && std::abs(value) <= 3.4e38 ? static_cast<float>(value) : fallback;
}

}  // namespace sw
