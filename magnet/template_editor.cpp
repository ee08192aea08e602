// The template editor's operations: pictures loaded into the template's layers, the magnet size,
// the cutting line, the mask and the transparency of the active picture.
#include <algorithm>

#include "base/numeric.h"
#include "magnet/magnet_design.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"

namespace sw {

namespace {

// The message a new template starts with, at 10 points bold in black, in a family every machine
// that runs the program has (the build installs it).
constexpr char16_t kTemplateMessage[] = u"your message goes here";
constexpr double kTemplateMessagePoints = 10;
constexpr char kTemplateMessageFont[] = "Liberation Sans";

}  // namespace

void TMagnetDesign::ChooseActiveImage(TLayer layer) {
  if (LayerClass(layer) != TLayerClass::Bitmap) return;
  activeChoice_ = layer;
  activeImage_ = layer;
}

void TMagnetDesign::LoadActiveImage(const std::string& fileName) {
  templateEditing_ = true;
  if (!activeChoice_) return;
  switch (*activeChoice_) {
    case TLayer::olImage:
    case TLayer::bgImage:
      LoadTemplateImage(*activeChoice_, fileName);
      break;
    case TLayer::olMask:
      LoadCutoutMask(fileName);
      break;
    default:
      LoadAndFitPicture(TLayer::usrImage, fileName);
      break;
  }
}

void TMagnetDesign::LoadTemplateImage(TLayer layer, const std::string& fileName) {
  TdtpBitmapShape* picture = BitmapLayer(layer);
  if (!picture) return;
  LoadAndFitPicture(layer, fileName);
  if (TdtpPolygonShape* background = RectLayer(TLayer::bgColour)) background->SetFillColor(kColourWhite);
  if (TdtpMemoShape* text = TextLayer()) {
    text->SetFontName(kTemplateMessageFont);
    text->SetFontSize(static_cast<float>(kTemplateMessagePoints));
    text->SetBold(true);
    text->SetFontColor(kColourBlack);
    text->SetLines({kTemplateMessage});
  }
  if (TdtpPolygonShape* box = RectLayer(TLayer::usrTextBG)) {
    box->SetFillColor(kColourGrey);
    box->SetMasterAlpha(0);
  }
  for (const TLayer shown : {TLayer::olBorder, TLayer::olOutline, TLayer::olImage, TLayer::usrText,
                             TLayer::usrTextBG, TLayer::bgColour}) {
    if (TdtpShape* shape = Layer(shown)) shape->SetVisible(true);
  }
  if (picture->DocHeight() > picture->DocWidth()) {
    picture->SetHeight(50);
    picture->SetWidth(90);
  } else {
    picture->SetHeight(90);
    picture->SetWidth(50);
  }
  ResetPrintSettings();
  ShowTemplateSize(layer);
  SetBorder(true);
  LayoutTemplateLayers(templateWidth_, templateHeight_, bleedMargin_);
  designLoaded_ = true;
}

void TMagnetDesign::LoadCutoutMask(const std::string& fileName) {
  TdtpShape* mask = Layer(TLayer::olMask);
  if (!mask) return;
  LoadPictureInto(TLayer::olMask, fileName);
  mask->SetLeft(0);
  mask->SetTop(0);
  mask->SetWidth(document_.PageWidth());
  mask->SetHeight(document_.PageHeight());
  mask->SetVisible(viewMask_);
}

void TMagnetDesign::ShowTemplateSize(TLayer layer) {
  const TdtpShape* shape = Layer(layer);
  if (!shape) return;
  templateHeight_ = Round(shape->DocHeight());
  templateWidth_ = Round(shape->DocWidth());
}

void TMagnetDesign::SetTemplateWidth(int32_t value) {
  templateWidth_ = value;
  if (!KeepAspectRatio) return;
  if (const std::optional<int32_t> height = HeightForWidth(value)) templateHeight_ = *height;
}

void TMagnetDesign::SetTemplateHeight(int32_t value) {
  templateHeight_ = value;
  if (!KeepAspectRatio) return;
  if (const std::optional<int32_t> width = WidthForHeight(value)) templateWidth_ = *width;
}

void TMagnetDesign::PreviewTemplate() { LayoutTemplateLayers(templateWidth_, templateHeight_, bleedMargin_); }

void TMagnetDesign::SetViewMask(bool value) {
  viewMask_ = value;
  if (TdtpShape* mask = Layer(TLayer::olMask)) mask->SetVisible(value);
}

void TMagnetDesign::SetBorder(bool value) {
  border_ = value;
  if (TdtpShape* outline = Layer(TLayer::olOutline)) outline->SetVisible(value);
}

int32_t TMagnetDesign::ActiveAlpha() const {
  const TdtpShape* picture = ActiveImage();
  return picture ? static_cast<int32_t>(picture->MasterAlpha()) : 0;
}

void TMagnetDesign::SetActiveAlpha(int32_t value) {
  if (TdtpShape* picture = ActiveImage()) picture->SetMasterAlpha(std::clamp(value, 0, 255));
}

}  // namespace sw
