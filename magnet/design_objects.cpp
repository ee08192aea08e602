#include "magnet/design_objects.h"

#include "base/exception.h"

namespace sw {

namespace {

constexpr std::array<const char*, kLayerCount> kLayerNames = {
    "bgColour", "bgImage", "usrImage", "usrTextBG", "usrText", "olImage", "olMask", "olBorder", "olOutline"};

}  // namespace

const char* LayerName(TLayer layer) { return kLayerNames[static_cast<size_t>(layer)]; }

bool LayerByName(std::string_view text, TLayer& layer) {
  for (size_t i = 0; i < kLayerNames.size(); ++i) {
    if (text == kLayerNames[i]) {
      layer = static_cast<TLayer>(i);
      return true;
    }
  }
  return false;
}

TLayerClass LayerClass(TLayer layer) {
  switch (layer) {
    case TLayer::bgImage:
    case TLayer::usrImage:
    case TLayer::olImage:
    case TLayer::olMask:
      return TLayerClass::Bitmap;
    case TLayer::usrText:
      return TLayerClass::Memo;
    default:
      return TLayerClass::Rectangle;
  }
}

const std::array<TLayer, kLayerCount>& AllLayers() {
  static constexpr std::array<TLayer, kLayerCount> layers = {
      TLayer::bgColour, TLayer::bgImage, TLayer::usrImage, TLayer::usrTextBG, TLayer::usrText,
      TLayer::olImage,  TLayer::olMask,  TLayer::olBorder, TLayer::olOutline};
  return layers;
}

TDesignObjectList::TDesignObjectList(int count) { Grow(count); }

void TDesignObjectList::Grow(int count) {
  if (count > Count()) items_.resize(static_cast<size_t>(count));
}

TDesignObject& TDesignObjectList::Item(int index) {
  if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

const TDesignObject& TDesignObjectList::Item(int index) const {
  return const_cast<TDesignObjectList*>(this)->Item(index);
}

}  // namespace sw
