// The nine design layers of a magnet and the list that keeps, per layer, its name, the geometry
// "reset" returns it to and the picture size that counts as zoom 100 %.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sw {

// The layers from the bottom of the stacking order to the top; the value is the layer's index on
// a freshly built design page.
enum class TLayer : uint8_t {
  bgColour = 0,
  bgImage = 1,
  usrImage = 2,
  usrTextBG = 3,
  usrText = 4,
  olImage = 5,
  olMask = 6,
  olBorder = 7,
  olOutline = 8,
};
constexpr int kLayerCount = 9;

// The shape class a layer must have.
enum class TLayerClass : uint8_t { Rectangle, Bitmap, Memo };

// The layer's name as files store it ("bgColour" ... "olOutline").
const char* LayerName(TLayer layer);
// The layer whose name equals text exactly; false when none does.
bool LayerByName(std::string_view text, TLayer& layer);
TLayerClass LayerClass(TLayer layer);
// All nine layers in stacking order.
const std::array<TLayer, kLayerCount>& AllLayers();

// One layer's remembered state.
struct TDesignObject {
  std::string ShapeType;
  float Width = 0;
  float Height = 0;
  float Left = 0;
  float Top = 0;
  float Angle = 0;
  float ZoomWidth = 0;
  float ZoomHeight = 0;
};

// The entries of the design page's shapes by index (entry i belongs to the shape with
// ShapeIndex i). Every accessor raises "List index out of bounds (i)" for an index outside
// 0 .. Count - 1, a shape not on the page (-1) included.
class TDesignObjectList {
public:
  // count new entries (empty names, all numbers 0); a negative count gives none.
  explicit TDesignObjectList(int count);

  int Count() const { return static_cast<int>(items_.size()); }
  // Appends empty entries until there are count.
  void Grow(int count);
  TDesignObject& Item(int index);
  const TDesignObject& Item(int index) const;

  const std::string& ShapeType(int i) const { return Item(i).ShapeType; }
  void SetShapeType(int i, std::string value) { Item(i).ShapeType = std::move(value); }
  float Width(int i) const { return Item(i).Width; }
  void SetWidth(int i, float value) { Item(i).Width = value; }
  float Height(int i) const { return Item(i).Height; }
  void SetHeight(int i, float value) { Item(i).Height = value; }
  float Left(int i) const { return Item(i).Left; }
  void SetLeft(int i, float value) { Item(i).Left = value; }
  float Top(int i) const { return Item(i).Top; }
  void SetTop(int i, float value) { Item(i).Top = value; }
  float Angle(int i) const { return Item(i).Angle; }
  void SetAngle(int i, float value) { Item(i).Angle = value; }
  float ZoomWidth(int i) const { return Item(i).ZoomWidth; }
  void SetZoomWidth(int i, float value) { Item(i).ZoomWidth = value; }
  float ZoomHeight(int i) const { return Item(i).ZoomHeight; }
  void SetZoomHeight(int i, float value) { Item(i).ZoomHeight = value; }

private:
  std::vector<TDesignObject> items_;
};

}  // namespace sw
