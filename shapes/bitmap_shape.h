// TdtpBitmapShape places a raster picture on a page, stretched to the shape's rectangle; the
// picture lives in a TdtpBitmapResource that keeps the picture file's bytes and decodes them when
// a paint first asks for the bitmap. TdtpSnapBitmap is the bitmap shape that shows a white frame
// with "Place image here" until a picture arrives, and fits that picture into the frame's area.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shapes/effect_shape.h"
#include "storage/resources/bitmap_resource.h"

namespace sw {

// The pixel density at which a loaded picture gets its natural size, in pixels per inch.
constexpr double kNaturalPictureDpi = 150;

class TdtpBitmapShape : public TdtpEffectShape {
public:
  // An empty picture resource bound to this shape; insert cursor -38.
  TdtpBitmapShape();
  ~TdtpBitmapShape() override;

  static const char* StaticClassName() { return "TdtpBitmapShape"; }
  const char* ClassName() const override { return StaticClassName(); }

  // The picture's resource. Loading a file through it (LoadFromFile) resizes the shape to the
  // picture's natural size; every change that raises picture-changed repaints the shape.
  TdtpBitmapResource& Resource() const { return *resource_; }

  // Children and effects first, then the resource's archive stream (if it has one).
  void ListResources(std::vector<std::string>& names) const override;
  // Stretches the whole picture over the rectangle (PaintX(0), PaintY(0)) - (PaintX(DocWidth),
  // PaintY(DocHeight)) with the paint info's filter, blended by the picture's own alpha; rotation
  // is the cache path's business. Without picture nothing is drawn; a picture that cannot be
  // decoded draws nothing, is reported once to the document and is not decoded again until the
  // picture changes (without document its error propagates). While a document that prefers
  // memory over speed prints, a picture drawn into a cache (this shape's or an ancestor's, which
  // then holds all it needs) lets its decoded pixels go at once: a sheet of many copies then
  // holds one decoded picture at a time.
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) override;
  // The resource follows the shape into the document, where it finds the archive.
  void SetDocument(TdtpDocument* document) override;
  // The caches, and while a document that prefers memory over speed prints, the decoded picture
  // as well (its bytes stay, so the next paint decodes it again).
  void FreeCaches() override;
  // The resource's storage kind, 0 (none) to 3 (embedded).
  int StorageKind() const override;
  // Moves the picture's bytes to the store of kind 0..3; other values are ignored.
  void SetStorageKind(int kind) override;
  // Reads the picture from the child element "Image"; a node without one clears the picture.
  // Nothing is decoded here and the shape keeps its size.
  void LoadFromXml(const TXmlNode* node) override;
  // Writes the common node, then always an "Image" element, empty resource or not.
  void SaveToXml(TXmlNode& node) const override;

  // Called when a picture file was read into the resource: the shape takes the picture's size at
  // 150 pixels per inch and keeps its proportions from then on. Nothing without a picture. A
  // JPEG's size comes from its header; the picture is decoded only when a paint needs it.
  virtual void PictureLoaded();
  // Called whenever the resource's bitmap or bytes were replaced, cleared or reloaded.
  virtual void PictureChanged();

protected:
  // The decoded picture inside an access bracket the caller holds; null when there is none or it
  // cannot be decoded (errors propagate).
  const TBitmap32* LockedBitmap();

  // True while the document prints and prefers memory over speed: decoded pictures then go as
  // soon as what they were drawn into no longer needs them.
  bool PrintingForMemory() const;
  // True when a paint draws this shape into a cache: its own, or that of an ancestor.
  bool PaintsIntoCache() const;

private:
  std::unique_ptr<TdtpBitmapResource> resource_;
  // Set when decoding the current bytes failed, so that repaints neither decode nor report again.
  bool decodeFailed_ = false;
  std::string decodeError_;
};

// A bitmap shape that shows a white 120 x 80 mm frame (child 0, a rectangle) with the words
// "Place image here" (child 1, a memo) while it has no picture, both following its size; an
// arriving picture keeps its own proportions, covers the same area as the frame did and stays
// centred on the same point.
class TdtpSnapBitmap : public TdtpBitmapShape {
public:
  TdtpSnapBitmap();

  static const char* StaticClassName() { return "TdtpSnapBitmap"; }
  const char* ClassName() const override { return StaticClassName(); }

  // Reads the common node and the picture; the frame and the words go on following the size
  // (the shape stays grouped whatever the description says).
  void LoadFromXml(const TXmlNode* node) override;
  // A hit on the frame, the words or the picture reports the snap bitmap itself.
  bool HitTestDeep(const TPoint& p, TdtpShape*& found) override;
  // Shows the frame and words exactly while there is no picture, then fits the picture into the
  // current area (a shape or picture without area keeps the size).
  void PictureLoaded() override;
};

}  // namespace sw
