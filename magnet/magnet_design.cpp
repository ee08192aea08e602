#include "magnet/magnet_design.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "magnet/cut_line.h"
#include "magnet/merge_table.h"
#include "platform/timer.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/xml/xml_node.h"

namespace sw {

namespace {

// Names of the page parameters, in the order they are written.
constexpr char kTemplateName[] = "template name";
constexpr char kTemplateType[] = "template type";
constexpr char kTemplateVersion[] = "template version";
constexpr char kBleedMargin[] = "bleed margin";
constexpr char kInnerX[] = "innerX margin";
constexpr char kInnerY[] = "innerY margin";
constexpr char kOuterX[] = "outerX margin";
constexpr char kOuterY[] = "outerY margin";
constexpr char kPortrait[] = "portrait";
constexpr char kPrecut[] = "precut";
// The paper, stored only when it is not A4 (the paper of every file from before it was stored).
constexpr char kPaperWidth[] = "paper width";
constexpr char kPaperHeight[] = "paper height";
constexpr int32_t kA4Width = 210, kA4Height = 297;
// Paper beyond this many millimetres a side is no paper a template was made for.
constexpr double kMaxStoredPaper = 2000;
// Written only for a design with a merge source.
constexpr char kMergeFile[] = "merge file";
constexpr char kMergePicture[] = "merge picture";
// Names of the layer parameters.
constexpr char kShapeType[] = "shape type";
constexpr char kZoomHeight[] = "zoom height";
constexpr char kZoomWidth[] = "zoom width";

// An older template has no version; its first five shapes are these layers, by position.
constexpr TLayer kOldTemplateLayers[] = {TLayer::bgColour, TLayer::usrImage, TLayer::usrText, TLayer::olImage,
                                         TLayer::olMask};

// The money-green page colour of the design document.
constexpr TdtpColor kMoneyGreen = 0xC0DCC0;

std::unique_ptr<TdtpShape> NewLayerShape(TLayer layer) {
  switch (LayerClass(layer)) {
    case TLayerClass::Bitmap:
      return std::make_unique<TdtpBitmapShape>();
    case TLayerClass::Memo:
      return std::make_unique<TdtpMemoShape>();
    case TLayerClass::Rectangle:
      break;
  }
  return std::make_unique<TdtpRectangleShape>();
}

bool HasLayerClass(TLayer layer, TdtpShape* shape) {
  switch (LayerClass(layer)) {
    case TLayerClass::Bitmap:
      return dynamic_cast<TdtpBitmapShape*>(shape) != nullptr;
    case TLayerClass::Memo:
      return dynamic_cast<TdtpMemoShape*>(shape) != nullptr;
    case TLayerClass::Rectangle:
      break;
  }
  return dynamic_cast<TdtpRectangleShape*>(shape) != nullptr;
}

const char* LayerClassName(TLayer layer) {
  switch (LayerClass(layer)) {
    case TLayerClass::Bitmap:
      return TdtpBitmapShape::StaticClassName();
    case TLayerClass::Memo:
      return TdtpMemoShape::StaticClassName();
    case TLayerClass::Rectangle:
      break;
  }
  return TdtpRectangleShape::StaticClassName();
}

// The name with the extension added when it has none.
// The folder of a file's path; empty for a name alone.
std::string FolderOf(const std::string& fileName) { return std::filesystem::path(fileName).parent_path().string(); }

// path taken from folder when relative (and folder given).
std::string PathFrom(const std::string& folder, const std::string& path) {
  if (path.empty() || folder.empty() || std::filesystem::path(path).is_absolute()) return path;
  return (std::filesystem::path(folder) / path).lexically_normal().string();
}

// path written relative to folder where both are known and share a root; else as it is.
std::string PathRelativeTo(const std::string& folder, const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  const std::filesystem::path base = std::filesystem::absolute(folder.empty() ? "." : folder, error);
  if (error) return path;
  const std::filesystem::path relative = absolute.lexically_normal().lexically_relative(base.lexically_normal());
  return relative.empty() ? path : relative.generic_string();
}

std::string WithExtension(const std::string& fileName, const char* extension) {
  const std::string name = FileNameOnly(fileName);
  return name.find('.') == std::string::npos ? fileName + extension : fileName;
}

}  // namespace

int32_t AngleSpinValue(float angle) {
  return angle > 180 ? Round(360.0 - static_cast<double>(angle)) : Round(-static_cast<double>(angle));
}

int32_t FoldRotateSpin(int32_t value) {
  if (value > 180) return value - 360;
  if (value < -179) return value + 360;
  return value;
}

std::string FileNameOnly(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemplateDisplayName(const std::string& fileName) {
  std::string name = FileNameOnly(fileName);
  const size_t at = LowerCase(name).find(".fmt");
  if (at != std::string::npos) name.erase(at, 4);
  std::replace(name.begin(), name.end(), '_', ' ');
  return name;
}

// --- Construction and layers ---

TMagnetDesign::TMagnetDesign(const TServices& services) : document_(services) {
  document_.SetMode(vmEdit);
  document_.Color = clAppWorkSpace;
  document_.SetDefaultPageColor(kMoneyGreen);
  document_.SetDefaultPageWidth(210);
  document_.SetDefaultPageHeight(297);
  document_.SetDefaultGridSize(5);
  document_.SetRenderDPI(150);
  document_.ZoomPercent = 100;
  document_.HitSensivity = 1;
  // Every change goes through the controls, which offer no undo; the log would only hold copies
  // of pictures.
  document_.SetUndoEnabled(false);
  document_.OnShapeDestroy = [this](TdtpDocument*, TdtpShape* shape) { OnShapeDestroy(shape); };
  document_.OnLoadError = [this](TdtpDocument*, TdtpShape*, const std::string& text) {
    if (loadErrors_.size() < kMaxLoadErrors) loadErrors_.push_back(text);
  };
  if (services.Timers) {
    flashTimer_ = services.Timers->CreateTimer();
    flashTimer_->OnTimer = [this] { FlashTick(); };
  }
  NewDesign();
}

TMagnetDesign::~TMagnetDesign() {
  // The document frees the layers after this object is gone.
  document_.OnShapeDestroy = nullptr;
  document_.OnLoadError = nullptr;
  if (flashTimer_) flashTimer_->OnTimer = nullptr;
}

void TMagnetDesign::OnShapeDestroy(TdtpShape* shape) {
  for (TdtpShape*& layer : layers_) {
    if (layer && layer->IsInside(shape)) layer = nullptr;
  }
}

void TMagnetDesign::ClearLayers() { layers_.fill(nullptr); }

TdtpPolygonShape* TMagnetDesign::RectLayer(TLayer layer) const {
  return LayerClass(layer) == TLayerClass::Rectangle ? static_cast<TdtpPolygonShape*>(Layer(layer)) : nullptr;
}

TdtpBitmapShape* TMagnetDesign::BitmapLayer(TLayer layer) const {
  return LayerClass(layer) == TLayerClass::Bitmap ? static_cast<TdtpBitmapShape*>(Layer(layer)) : nullptr;
}

TdtpMemoShape* TMagnetDesign::TextLayer() const { return static_cast<TdtpMemoShape*>(Layer(TLayer::usrText)); }

void TMagnetDesign::SetActiveImage(TLayer layer) {
  if (LayerClass(layer) == TLayerClass::Bitmap) activeImage_ = layer;
}

TDesignObject* TMagnetDesign::LayerObject(TLayer layer) {
  TdtpShape* shape = Layer(layer);
  return shape ? &objects_->Item(shape->ShapeIndex()) : nullptr;
}

void TMagnetDesign::Bind(TLayer layer, TdtpShape* shape) {
  if (!HasLayerClass(layer, shape)) {
    RaiseError(Format("Invalid class typecast: layer \"%s\" is a %s, not a %s", LayerName(layer),
                      shape->ClassName(), LayerClassName(layer)));
  }
  layers_[static_cast<size_t>(layer)] = shape;
  if (layer == TLayer::usrText) ShowMergeRowIn(*static_cast<TdtpMemoShape*>(shape));
}

void TMagnetDesign::ShowMergeRow(const TMergeTable* table) {
  shownRow_.reset();
  if (table && table->RowCount() > 0) shownRow_ = std::make_shared<const TMergeTable>(table->Head(1));
  if (TdtpMemoShape* text = TextLayer()) ShowMergeRowIn(*text);
}

void TMagnetDesign::ShowMergeRowIn(TdtpMemoShape& text) const {
  if (!shownRow_) {
    text.SetShownText({});
    return;
  }
  text.SetShownText([row = shownRow_](const std::u16string& stored) {
    return Utf8ToUtf16(ShowMessageFields(Utf16ToUtf8(stored), *row, 0));
  });
}

void TMagnetDesign::RequireDocumentPage() {
  if (document_.CurrentPage()) return;
  if (document_.PageCount() == 0) document_.AddPage();
  document_.SetCurrentPageIndex(0);
}

void TMagnetDesign::NewDesign() {
  // A flash running now would colour the box of the design that is going.
  flashing_ = false;
  flashCountdown_ = 0;
  if (flashTimer_) flashTimer_->Stop();
  RequireDocumentPage();
  document_.CurrentPage()->DeleteAllChildren();
  ClearLayers();
  mergeFileName_.clear();
  mergePictureColumn_.clear();
  document_.SetPageWidth(210);
  document_.SetPageHeight(297);
  document_.SetShowMargins(false);
  document_.SetViewStyle(vsNormal);
  document_.ResetZoom();
  document_.SetRenderAtScreenRes(true);
  std::array<std::unique_ptr<TdtpShape>, kLayerCount> shapes;
  for (const TLayer layer : AllLayers()) {
    auto shape = NewLayerShape(layer);
    shape->SetVisible(false);
    shape->SetAllowSelect(false);
    shapes[static_cast<size_t>(layer)] = std::move(shape);
  }
  auto* text = static_cast<TdtpMemoShape*>(shapes[static_cast<size_t>(TLayer::usrText)].get());
  text->SetAutoSize(false);
  text->SetAlignment(taCenter);
  text->SetWordWrap(true);
  for (const TLayer layer : {TLayer::usrTextBG, TLayer::olBorder, TLayer::bgColour}) {
    auto* rect = static_cast<TdtpPolygonShape*>(shapes[static_cast<size_t>(layer)].get());
    rect->SetOutlineWidth(0.0001f);
    rect->SetOutlineColor(kColourWhite);
  }
  // The box behind the message is white or transparent, never the rectangle's own blue.
  static_cast<TdtpPolygonShape*>(shapes[static_cast<size_t>(TLayer::usrTextBG)].get())->SetFillColor(kColourWhite);
  auto* outline = static_cast<TdtpPolygonShape*>(shapes[static_cast<size_t>(TLayer::olOutline)].get());
  outline->SetOutlineWidth(0.25f);
  outline->SetOutlineColor(kColourBlack);
  templateName_.clear();
  activeChoice_.reset();
  for (const TLayer layer : AllLayers()) {
    TdtpShape* shape = shapes[static_cast<size_t>(layer)].get();
    if (document_.AddShape(std::move(shapes[static_cast<size_t>(layer)])) >= 0) Bind(layer, shape);
  }
  objects_ = std::make_unique<TDesignObjectList>(document_.ShapeCount());
  activeImage_ = TLayer::usrImage;
  document_.SetModified(false);
}

void TMagnetDesign::LayoutTemplateLayers(int32_t w, int32_t h, float m) {
  document_.SetPageWidth(2 * m + static_cast<float>(w));
  document_.SetPageHeight(2 * m + static_cast<float>(h));
  document_.FitPage();
  const float W = document_.PageWidth();
  const float H = document_.PageHeight();
  const float fw = static_cast<float>(w), fh = static_cast<float>(h);
  auto place = [](TdtpShape* shape, float left, float top, float width, float height) {
    if (!shape) return;
    shape->SetLeft(left);
    shape->SetTop(top);
    shape->SetWidth(width);
    shape->SetHeight(height);
  };
  place(Layer(TLayer::olMask), 0, 0, W, H);
  if (TdtpPolygonShape* border = RectLayer(TLayer::olBorder)) {
    place(border, m / 2, m / 2, W - m, H - m);
    border->SetOutlineWidth(m);
    border->SetOutlineColor(kColourWhite);
    border->SetFillAlpha(0);
  }
  if (TdtpPolygonShape* outline = RectLayer(TLayer::olOutline)) {
    place(outline, m + 0.1f, m + 0.1f, fw - 0.2f, fh - 0.2f);
    outline->SetOutlineWidth(0.2f);
    outline->SetOutlineColor(kColourBlack);
    outline->SetFillAlpha(0);
  }
  place(Layer(TLayer::olImage), m, m, fw, fh);
  place(Layer(TLayer::bgImage), m, m, fw, fh);
  place(Layer(TLayer::bgColour), 0, 0, W, H);
  if (TDesignObject* text = LayerObject(TLayer::usrText)) {
    const int32_t halfW = Div(w, 2);
    const int32_t halfH = Div(h, 2);
    text->Left = static_cast<float>(Round((static_cast<double>(W) - halfW) / 2));
    text->Top = static_cast<float>(Round((static_cast<double>(H) - halfH) / 2));
    text->Width = static_cast<float>(halfW);
    text->Height = static_cast<float>(halfH);
  }
  ResetText();
  RestoreOverlayAlpha();
}

void TMagnetDesign::RecordLayerGeometry(TLayer layer) {
  TdtpShape* shape = Layer(layer);
  TDesignObject* entry = LayerObject(layer);
  if (!shape || !entry) return;
  entry->Height = shape->DocHeight();
  entry->Width = shape->DocWidth();
  entry->Left = shape->DocLeft();
  entry->Top = shape->DocTop();
  entry->Angle = shape->DocAngle();
}

void TMagnetDesign::RestoreLayerGeometry(TLayer layer) {
  TdtpShape* shape = Layer(layer);
  TDesignObject* entry = LayerObject(layer);
  if (!shape || !entry) return;
  shape->SetHeight(entry->Height);
  shape->SetWidth(entry->Width);
  shape->SetLeft(entry->Left);
  shape->SetTop(entry->Top);
  shape->SetAngle(entry->Angle);
}

// --- Parameters ---

void TMagnetDesign::ApplyDesign(bool resetPrint) {
  try {
    ApplyDesignSteps(resetPrint);
  } catch (...) {
    // Half-bound layers of a design that did not apply must not be edited or saved.
    NewDesign();
    designLoaded_ = false;
    imageGroupAllowed_ = false;
    throw;
  }
}

void TMagnetDesign::ApplyDesignSteps(bool resetPrint) {
  designLoaded_ = true;
  RequireDocumentPage();
  document_.FitPage();
  TdtpPage* page = document_.CurrentPage();
  pageParams_.SetCommaText(page->Name());
  ClearLayers();
  const int count = page->ChildCount();
  // A file may hold more shapes than the nine layers; each still gets its record.
  objects_->Grow(count);
  if (!pageParams_.Value(kTemplateVersion).empty()) {
    for (int i = 0; i < count; ++i) {
      TdtpShape* shape = page->Child(i);
      ReadLayerParams(*shape);
      TLayer layer;
      if (LayerByName(objects_->ShapeType(i), layer)) Bind(layer, shape);
    }
  } else {
    for (int i = 0; i < std::min<int>(count, static_cast<int>(std::size(kOldTemplateLayers))); ++i) {
      const TLayer layer = kOldTemplateLayers[i];
      Bind(layer, page->Child(i));
      // Older templates store no layer records; the loaded geometry is what "reset" returns to.
      TDesignObject& entry = objects_->Item(i);
      entry = TDesignObject{};
      entry.ShapeType = LayerName(layer);
      RecordLayerGeometry(layer);
    }
  }
  activeImage_ = TLayer::usrImage;
  templateName_ = pageParams_.Value(kTemplateName);
  mergeFileName_ = pageParams_.Value(kMergeFile);
  mergePictureColumn_ = pageParams_.Value(kMergePicture);
  const std::string type = pageParams_.Value(kTemplateType);
  templateType_ = SameText(type, kTemplateTypeBasic)       ? kTemplateTypeBasic
                  : SameText(type, kTemplateTypeClockFace) ? kTemplateTypeClockFace
                                                           : "";
  if (resetPrint) {
    ResetPrintSettings();
    grid_.SetResetPending(true);
  }
  if (const TdtpShape* image = Layer(TLayer::olImage)) {
    templateWidth_ = Round(image->DocWidth());
    templateHeight_ = Round(image->DocHeight());
  }
  activeChoice_ = TLayer::usrImage;
  TdtpShape* picture = Layer(TLayer::usrImage);
  imageGroupAllowed_ = picture && picture->Visible();
  if (TdtpShape* outline = Layer(TLayer::olOutline); outline && CutFollowsWindow()) outline->SetMasterAlpha(0);
  document_.SetModified(false);
}

void TMagnetDesign::ReadLayerParams(TdtpShape& shape) {
  const int i = shape.ShapeIndex();
  TDesignObject& entry = objects_->Item(i);
  entry.Height = shape.DocHeight();
  entry.Width = shape.DocWidth();
  entry.Left = shape.DocLeft();
  entry.Top = shape.DocTop();
  entry.Angle = shape.DocAngle();
  const TParamList params(shape.Name());
  entry.ShapeType = params.Value(kShapeType);
  // A number that does not read is reported with the shape and the parameter it belongs to.
  auto zoom = [&](const char* key) {
    const std::string text = params.Value(key);
    const std::optional<double> value = TryParseDecimal(text);
    if (!value) {
      RaiseError(Format("Shape %d (layer %s): \"%s\" is %s, which is no number", i + 1,
                        QuoteForMessage(entry.ShapeType, 24).c_str(), key, QuoteForMessage(text, 24).c_str()));
    }
    return static_cast<float>(*value);
  };
  entry.ZoomHeight = zoom(kZoomHeight);
  entry.ZoomWidth = zoom(kZoomWidth);
}

void TMagnetDesign::WriteLayerParams(TdtpShape& shape) {
  const TDesignObject& entry = objects_->Item(shape.ShapeIndex());
  TParamList params;
  params.AddValue(kShapeType, entry.ShapeType);
  params.AddValue(kZoomHeight, FormatDecimal(entry.ZoomHeight));
  params.AddValue(kZoomWidth, FormatDecimal(entry.ZoomWidth));
  shape.SetName(params.CommaText());
}

std::string TMagnetDesign::PageParams(const std::string& folder) const {
  TParamList params;
  params.AddValue(kTemplateName, templateName_);
  params.AddValue(kTemplateType, templateType_);
  params.AddValue(kTemplateVersion, "1");
  params.AddValue(kBleedMargin, FormatDecimal(bleedMargin_));
  params.AddValue(kInnerX, FormatDecimal(print_.InnerMarginX));
  params.AddValue(kInnerY, FormatDecimal(print_.InnerMarginY));
  params.AddValue(kOuterX, FormatDecimal(print_.OuterMarginX));
  params.AddValue(kOuterY, FormatDecimal(print_.OuterMarginY));
  params.AddValue(kPortrait, FormatYesNo(print_.Portrait));
  params.AddValue(kPrecut, FormatYesNo(print_.Precut));
  if (print_.PaperWidth != kA4Width || print_.PaperHeight != kA4Height) {
    params.AddValue(kPaperWidth, std::to_string(print_.PaperWidth));
    params.AddValue(kPaperHeight, std::to_string(print_.PaperHeight));
  }
  if (!mergeFileName_.empty()) {
    params.AddValue(kMergeFile, PathRelativeTo(folder, mergeFileName_));
    params.AddValue(kMergePicture, mergePictureColumn_);
  }
  return params.CommaText();
}

void TMagnetDesign::StoreDesignParams(const std::string& folder) {
  EndTextFlash();
  RequireDocumentPage();
  TdtpPage* page = document_.CurrentPage();
  const std::string text = PageParams(folder);
  page->SetName(text);
  pageParams_.SetCommaText(text);
  objects_->Grow(page->ChildCount());
  for (const TLayer layer : {TLayer::olOutline, TLayer::olBorder, TLayer::olMask, TLayer::olImage, TLayer::usrText,
                             TLayer::usrTextBG, TLayer::bgColour, TLayer::usrImage, TLayer::bgImage}) {
    if (TDesignObject* entry = LayerObject(layer)) entry->ShapeType = LayerName(layer);
  }
  for (int i = 0; i < page->ChildCount(); ++i) WriteLayerParams(*page->Child(i));
}

void TMagnetDesign::ResetPrintSettings() {
  SetPaperWidth(kA4Width);
  SetPaperHeight(kA4Height);
  SetInnerMarginX(0);
  SetInnerMarginY(0);
  SetOuterMarginX(15);
  SetOuterMarginY(23);
  SetPortrait(true);
  SetPrecut(true);
  const TParamList& p = pageParams_;
  // Paper of whole millimetres, both sides or neither.
  const std::optional<double> paperWidth = TryParseDecimal(p.Value(kPaperWidth));
  const std::optional<double> paperHeight = TryParseDecimal(p.Value(kPaperHeight));
  auto wholePaper = [](const std::optional<double>& v) {
    return v && *v >= 1 && *v <= kMaxStoredPaper && *v == std::floor(*v);
  };
  if (wholePaper(paperWidth) && wholePaper(paperHeight)) {
    SetPaperWidth(static_cast<int32_t>(*paperWidth));
    SetPaperHeight(static_cast<int32_t>(*paperHeight));
  }
  const std::optional<double> bleed = TryParseDecimal(p.Value(kBleedMargin));
  if (!bleed) return;
  SetBleedMargin(static_cast<float>(*bleed));
  auto readMargin = [&](const char* name, void (TMagnetDesign::*set)(float)) {
    const std::optional<double> value = TryParseDecimal(p.Value(name));
    // A number beyond single precision is as unreadable as no number.
    if (!value || std::fabs(*value) > 3.4e38) return false;
    (this->*set)(static_cast<float>(*value));
    return true;
  };
  if (!readMargin(kInnerX, &TMagnetDesign::SetInnerMarginX) || !readMargin(kInnerY, &TMagnetDesign::SetInnerMarginY) ||
      !readMargin(kOuterX, &TMagnetDesign::SetOuterMarginX) || !readMargin(kOuterY, &TMagnetDesign::SetOuterMarginY)) {
    return;
  }
  const std::optional<bool> portrait = TryParseYesNo(p.Value(kPortrait));
  if (!portrait) return;
  SetPortrait(*portrait);
  const std::optional<bool> precut = TryParseYesNo(p.Value(kPrecut));
  if (!precut) return;
  SetPrecut(*precut);
}

// --- Files ---

void TMagnetDesign::LoadDesignFile(const std::string& fileName) {
  EndTextFlash();
  TdtpPage* before = document_.CurrentPage();
  loadErrors_.clear();
  try {
    document_.LoadFromFile(fileName);
    // A design is whole or not at all: a layer left out would be missing from every print and
    // from the next save, without a word.
    const std::string quoted = QuoteForMessage(fileName, 120);
    if (document_.PageCount() == 0) {
      RaiseError(Format("Cannot read %s: it holds no page (the archive lacks its page stream)", quoted.c_str()));
    }
    if (document_.CurrentPage() && document_.CurrentPage()->ChildCount() == 0) {
      RaiseError(Format("Cannot read %s: its page holds no layers", quoted.c_str()));
    }
    if (!loadErrors_.empty()) {
      const std::string first = loadErrors_.front();
      loadErrors_.clear();
      RaiseError(Format("Cannot read %s: page 1: %s", quoted.c_str(), first.c_str()));
    }
  } catch (...) {
    // A file that could not be read has emptied the document; its layers are gone.
    if (document_.CurrentPage() != before || !before) {
      NewDesign();
      designLoaded_ = false;
      imageGroupAllowed_ = false;
    }
    throw;
  }
}

void TMagnetDesign::SaveDesignFile(const std::string& fileName) {
  try {
    document_.SaveToFile(fileName);
  } catch (...) {
    document_.SetModified(true);
    throw;
  }
}

void TMagnetDesign::OpenTemplate(const std::string& fileName, bool templateEditing) {
  templateEditing_ = templateEditing;
  LoadDesignFile(fileName);
  templateFileName_ = FileNameOnly(fileName);
  designFileName_.clear();
  ApplyDesign(true);
  templateName_ = TemplateDisplayName(fileName);
}

void TMagnetDesign::OpenDesign(const std::string& fileName) {
  templateEditing_ = false;
  LoadDesignFile(fileName);
  designFileName_ = FileNameOnly(fileName);
  ApplyDesign(true);
  mergeFileName_ = PathFrom(FolderOf(fileName), mergeFileName_);
}

void TMagnetDesign::SaveDesign(const std::string& fileName) {
  const std::string path = WithExtension(fileName, ".fmd");
  StoreDesignParams(FolderOf(path));
  SaveDesignFile(path);
  designFileName_ = FileNameOnly(path);
}

void TMagnetDesign::SaveTemplate(const std::string& fileName) {
  const std::string path = WithExtension(fileName, ".fmt");
  StoreDesignParams();
  SaveDesignFile(path);
  templateFileName_ = FileNameOnly(path);
}

// --- Template fields and print settings ---

void TMagnetDesign::StoredChanged() {
  document_.SetModified(true);
  layoutStale_ = true;
}

void TMagnetDesign::SetMerge(const std::string& fileName, const std::string& pictureColumn) {
  if (fileName == mergeFileName_ && pictureColumn == mergePictureColumn_) return;
  mergeFileName_ = fileName;
  mergePictureColumn_ = fileName.empty() ? std::string() : pictureColumn;
  document_.SetModified(true);
}

void TMagnetDesign::SetTemplateName(const std::string& value) {
  if (value == templateName_) return;
  templateName_ = value;
  document_.SetModified(true);
}

void TMagnetDesign::SetTemplateType(const std::string& value) {
  const std::string type = SameText(value, kTemplateTypeBasic)       ? kTemplateTypeBasic
                           : SameText(value, kTemplateTypeClockFace) ? kTemplateTypeClockFace
                                                                     : "";
  if (type == templateType_) return;
  templateType_ = type;
  document_.SetModified(true);
}

void TMagnetDesign::SetBleedMargin(float value) {
  if (!std::isfinite(value)) return;
  value = std::clamp(value, 0.0f, kMaxBleedMargin);
  if (value == bleedMargin_) return;
  bleedMargin_ = value;
  StoredChanged();
}

void TMagnetDesign::SetPaperWidth(int32_t value) {
  if (value == print_.PaperWidth) return;
  print_.PaperWidth = value;
  layoutStale_ = true;
}

void TMagnetDesign::SetPaperHeight(int32_t value) {
  if (value == print_.PaperHeight) return;
  print_.PaperHeight = value;
  layoutStale_ = true;
}

void TMagnetDesign::SetOuterMarginX(float value) {
  if (!std::isfinite(value) || value == print_.OuterMarginX) return;
  print_.OuterMarginX = value;
  StoredChanged();
}

void TMagnetDesign::SetOuterMarginY(float value) {
  if (!std::isfinite(value) || value == print_.OuterMarginY) return;
  print_.OuterMarginY = value;
  StoredChanged();
}

void TMagnetDesign::SetInnerMarginX(float value) {
  if (!std::isfinite(value) || value == print_.InnerMarginX) return;
  print_.InnerMarginX = value;
  StoredChanged();
}

void TMagnetDesign::SetInnerMarginY(float value) {
  if (!std::isfinite(value) || value == print_.InnerMarginY) return;
  print_.InnerMarginY = value;
  StoredChanged();
}

void TMagnetDesign::SetPortrait(bool value) {
  if (value == print_.Portrait) return;
  print_.Portrait = value;
  StoredChanged();
}

TPrintLayoutInput TMagnetDesign::LayoutInput() const {
  TPrintLayoutInput input;
  input.PageWidth = document_.PageWidth();
  input.PageHeight = document_.PageHeight();
  input.Bleed = bleedMargin_;
  input.PaperWidth = static_cast<float>(print_.PaperWidth);
  input.PaperHeight = static_cast<float>(print_.PaperHeight);
  input.OuterMarginX = print_.OuterMarginX;
  input.OuterMarginY = print_.OuterMarginY;
  input.InnerMarginX = print_.InnerMarginX;
  input.InnerMarginY = print_.InnerMarginY;
  input.Portrait = print_.Portrait;
  return input;
}

void TMagnetDesign::SetPrecut(bool value) {
  if (value == print_.Precut) return;
  print_.Precut = value;
  StoredChanged();
}

// --- Print copies ---

void TMagnetDesign::RestoreOverlayAlpha() {
  for (const TLayer layer : {TLayer::olImage, TLayer::olMask, TLayer::olBorder}) {
    if (TdtpShape* shape = Layer(layer)) shape->SetMasterAlpha(255);
  }
  if (TdtpShape* outline = Layer(TLayer::olOutline)) outline->SetMasterAlpha(CutFollowsWindow() ? 0 : 255);
}

bool TMagnetDesign::CutFollowsWindow() const {
  TdtpBitmapShape* cutout = BitmapLayer(TLayer::olImage);
  if (!cutout) return false;
  try {
    return TCutOutline::OfCutout(*cutout) != nullptr;
  } catch (const std::exception&) {
    // The picture's paint reports it; without a picture there is no window.
    return false;
  }
}

void TMagnetDesign::SaveDesignForPrint(TXmlNode& node) {
  EndTextFlash();
  RequireDocumentPage();
  auto setAlpha = [this](TLayer layer, int64_t alpha) {
    if (TdtpShape* shape = Layer(layer)) shape->SetMasterAlpha(alpha);
  };
  auto restore = [this] {
    if (TdtpShape* image = Layer(TLayer::olImage)) image->SetVisible(true);
    if (TdtpShape* mask = Layer(TLayer::olMask)) mask->SetVisible(false);
    RestoreOverlayAlpha();
  };
  if (print_.Precut) {
    if (TdtpShape* mask = Layer(TLayer::olMask)) mask->SetVisible(true);
    setAlpha(TLayer::olBorder, 0);
    setAlpha(TLayer::olOutline, 0);
  } else {
    setAlpha(TLayer::olImage, 255);
    setAlpha(TLayer::olOutline, 255);
  }
  try {
    document_.CurrentPage()->SaveToXml(node);
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

}  // namespace sw
