// The design tab's operations on the layers: the message, its box and its flash, the background
// colour and the user's picture.
#include <algorithm>
#include <cmath>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "magnet/magnet_design.h"
#include "platform/fonts.h"
#include "platform/timer.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"

namespace sw {

namespace {

// Ticks of 100 ms the box stays grey after the last edit, besides the tick that ends it.
constexpr int32_t kFlashTicks = 20;
constexpr uint32_t kFlashIntervalMs = 100;
// The picture size "load image" and "reset" start from, in percent of the covering size.
constexpr int32_t kQuarterZoom = 25;

double PointsOf(float fontHeight) { return PointsOfMm(fontHeight); }

}  // namespace

// --- Message ---

void TMagnetDesign::SetMessageText(const std::u16string& text) {
  if (TdtpMemoShape* memo = TextLayer()) memo->SetText(text);
}

void TMagnetDesign::SetMessageFont(const std::string& name, double points, bool bold, bool italic, TdtpColor colour) {
  TdtpMemoShape* memo = TextLayer();
  if (!memo) return;
  memo->SetFontHeight(static_cast<float>(MmOfPoints(points)));
  memo->SetFontName(name);
  memo->SetBold(bold);
  memo->SetItalic(italic);
  memo->SetFontColor(colour);
}

TFloatPoint TMagnetDesign::MessageOverflow() const {
  const TdtpMemoShape* memo = TextLayer();
  if (!memo || memo->Text().empty()) return {0, 0};
  const TFloatPoint extent = memo->TextExtentMm();
  // A hair of rounding in the layout is no overflow.
  constexpr float kSlack = 0.01f;
  const float across = extent.X - std::abs(memo->DocWidth());
  const float down = extent.Y - std::abs(memo->DocHeight());
  return {across > kSlack ? across : 0, down > kSlack ? down : 0};
}

int32_t TMagnetDesign::MessageLines() const {
  const TdtpMemoShape* memo = TextLayer();
  return memo && !memo->Text().empty() ? static_cast<int32_t>(memo->Lines().size()) : 0;
}

int32_t TMagnetDesign::MessageLinesShown() const {
  const TdtpMemoShape* memo = TextLayer();
  const int32_t lines = MessageLines();
  if (lines == 0 || !(memo->FontHeight() > 0)) return lines;
  const double fit = std::floor(std::abs(static_cast<double>(memo->DocHeight())) / memo->FontHeight() + 1e-4);
  return static_cast<int32_t>(std::clamp<double>(fit, 0, lines));
}

bool TMagnetDesign::FitMessageText() {
  TdtpMemoShape* memo = TextLayer();
  if (!memo) return true;
  const auto fits = [this] {
    const TFloatPoint over = MessageOverflow();
    return over.X == 0 && over.Y == 0;
  };
  if (fits()) return true;
  // Tenths of a point: the largest that fits, found by halving (the extent grows with the size).
  const auto heightOf = [](int32_t tenths) { return static_cast<float>(MmOfPoints(tenths / 10.0)); };
  int32_t low = 10;
  int32_t high = static_cast<int32_t>(std::floor(PointsOf(memo->FontHeight()) * 10));
  memo->SetFontHeight(heightOf(low));
  if (!fits() || high <= low) return fits();
  while (high - low > 1) {
    const int32_t middle = low + (high - low) / 2;
    memo->SetFontHeight(heightOf(middle));
    if (fits()) {
      low = middle;
    } else {
      high = middle;
    }
  }
  memo->SetFontHeight(heightOf(low));
  return true;
}

int32_t TMagnetDesign::FontPoints() const {
  const TdtpMemoShape* memo = TextLayer();
  return memo ? Round(PointsOf(memo->FontHeight())) : 0;
}

std::string TMagnetDesign::FontText() const {
  const TdtpMemoShape* memo = TextLayer();
  if (!memo) return {};
  return memo->FontName() + " - " + std::to_string(FontPoints()) + " point";
}

std::string TMagnetDesign::MessageFontFamily() const {
  const TdtpMemoShape* memo = TextLayer();
  if (!memo) return {};
  TFontSystem* fonts = document_.Services().Fonts;
  if (!fonts) return memo->FontName();
  try {
    const std::string family = fonts->Resolve(memo->FontName(), memo->FontStyle()).Family;
    return family.empty() ? memo->FontName() : family;
  } catch (const Exception&) {
    return memo->FontName();  // no font at all: nothing better to name
  }
}

void TMagnetDesign::MoveText(float left, float top) {
  TdtpShape* text = Layer(TLayer::usrText);
  if (!text) return;
  FlashTextBox();
  text->SetLeft(left);
  text->SetTop(top);
  SyncTextBox();
}

void TMagnetDesign::SizeText(float width, float height) {
  TdtpShape* text = Layer(TLayer::usrText);
  if (!text) return;
  FlashTextBox();
  text->SetWidth(width);
  text->SetHeight(height);
  SyncTextBox();
}

void TMagnetDesign::RotateText(int32_t value) {
  TdtpShape* text = Layer(TLayer::usrText);
  if (!text) return;
  FlashTextBox();
  text->RotateAboutCentre(static_cast<float>(-value));
  SyncTextBox();
}

void TMagnetDesign::SyncTextBox() {
  TdtpShape* text = Layer(TLayer::usrText);
  TdtpShape* box = Layer(TLayer::usrTextBG);
  if (!text || !box) return;
  box->SetLeft(text->DocLeft());
  box->SetTop(text->DocTop());
  box->SetHeight(text->DocHeight());
  box->SetWidth(text->DocWidth());
  box->SetAngle(text->DocAngle());
}

void TMagnetDesign::ResetText() {
  RestoreLayerGeometry(TLayer::usrText);
  SyncTextBox();
}

std::optional<TTextControls> TMagnetDesign::TextControls() const {
  const TdtpShape* text = Layer(TLayer::usrText);
  if (!text) return std::nullopt;
  TTextControls c;
  c.Height = Round(text->DocHeight());
  c.Width = Round(text->DocWidth());
  c.Top = Round(text->DocTop());
  c.Left = Round(text->DocLeft());
  c.Rotate = AngleSpinValue(text->DocAngle());
  return c;
}

bool TMagnetDesign::TextBoxSeeThrough() const {
  if (flashing_) return flashEndsSeeThrough_;
  const TdtpShape* box = Layer(TLayer::usrTextBG);
  return box && box->MasterAlpha() == 0;
}

void TMagnetDesign::SetTextBoxSeeThrough(bool value) {
  if (flashing_) flashEndsSeeThrough_ = value;
  TdtpPolygonShape* box = RectLayer(TLayer::usrTextBG);
  if (!box) return;
  if (value) {
    box->SetMasterAlpha(0);
  } else {
    box->SetMasterAlpha(255);
    box->SetFillColor(kColourWhite);
  }
}

void TMagnetDesign::FlashTextBox() {
  if (!flashing_) flashEndsSeeThrough_ = TextBoxSeeThrough();
  if (TdtpPolygonShape* box = RectLayer(TLayer::usrTextBG)) {
    box->SetMasterAlpha(127);
    box->SetFillColor(kColourGrey);
  }
  flashCountdown_ = kFlashTicks;
  flashing_ = true;
  if (flashTimer_) flashTimer_->Start(kFlashIntervalMs);
}

void TMagnetDesign::FlashTick() {
  if (!flashing_) return;
  if (flashCountdown_ <= 0) {
    EndTextFlash();
  } else {
    --flashCountdown_;
  }
}

void TMagnetDesign::EndTextFlash() {
  if (flashTimer_) flashTimer_->Stop();
  if (!flashing_) return;
  flashing_ = false;
  flashCountdown_ = 0;
  SetTextBoxSeeThrough(flashEndsSeeThrough_);
}

void TMagnetDesign::SetBackgroundColour(TdtpColor colour) {
  if (TdtpPolygonShape* background = RectLayer(TLayer::bgColour)) background->SetFillColor(colour);
}

// --- Pictures ---

void TMagnetDesign::LoadPictureInto(TLayer layer, const std::string& fileName) {
  pictureWarning_.clear();
  TdtpBitmapShape* picture = BitmapLayer(layer);
  if (!picture) return;
  picture->Resource().LoadFromFile(fileName);
  if (!picture->Resource().LoadWarning().empty()) {
    pictureWarning_ = Format("%s: %s", QuoteForMessage(fileName, 120).c_str(), picture->Resource().LoadWarning().c_str());
  }
}

void TMagnetDesign::LoadAndFitPicture(TLayer layer, const std::string& fileName) {
  TdtpBitmapShape* picture = BitmapLayer(layer);
  if (!picture) return;
  LoadPictureInto(layer, fileName);
  activeImage_ = layer;
  const double ih = picture->DocHeight();
  const double iw = picture->DocWidth();
  const float PW = document_.PageWidth();
  const float PH = document_.PageHeight();
  picture->SetLeft(0);
  picture->SetTop(0);
  picture->SetWidth(PW);
  picture->SetHeight(PH);
  picture->SetAngle(0);
  // A picture or page without area has no proportions to keep; it simply covers the page.
  const double r = (ih / PH) / (iw / PW);
  if (std::isfinite(r) && r > 0) {
    if (r >= 1) {
      picture->SetHeight(static_cast<float>(r * PH));
    } else {
      picture->SetWidth(static_cast<float>(PW / r));
    }
  }
  if (TDesignObject* entry = LayerObject(layer)) {
    entry->ZoomWidth = picture->DocWidth();
    entry->ZoomHeight = picture->DocHeight();
  }
  RecordLayerGeometry(layer);
  picture->SetVisible(true);
}

void TMagnetDesign::LoadUserPicture(const std::string& fileName) {
  LoadAndFitPicture(TLayer::usrImage, fileName);
  if (Layer(TLayer::usrImage)) imageGroupAllowed_ = true;
  CentreQuarterZoom();
}

void TMagnetDesign::CentreQuarterZoom() {
  ZoomActiveImage(kQuarterZoom);
  // Centred by its own size: a template's picture being placed is centred as the user's is.
  const TdtpShape* picture = ActiveImage();
  if (!picture) return;
  MoveActiveImage(static_cast<float>(Round((static_cast<double>(document_.PageWidth()) - picture->DocWidth()) / 2)),
                  static_cast<float>(Round((static_cast<double>(document_.PageHeight()) - picture->DocHeight()) / 2)));
}

void TMagnetDesign::ZoomActiveImage(int32_t percent) {
  TdtpBitmapShape* picture = ActiveImage();
  const TDesignObject* entry = LayerObject(activeImage_);
  if (!picture || !entry) return;
  const double f = percent / 100.0;
  picture->SetWidth(static_cast<float>(entry->ZoomWidth * f));
  picture->SetHeight(static_cast<float>(f * entry->ZoomHeight));
}

void TMagnetDesign::MoveActiveImage(float left, float top) {
  TdtpBitmapShape* picture = ActiveImage();
  if (!picture) return;
  picture->SetLeft(left);
  picture->SetTop(top);
}

void TMagnetDesign::RotateActiveImage(int32_t value) {
  if (TdtpBitmapShape* picture = ActiveImage()) picture->RotateAboutCentre(static_cast<float>(-value));
}

void TMagnetDesign::ClearUserPicture() {
  if (TdtpShape* picture = Layer(TLayer::usrImage)) picture->SetVisible(false);
}

std::shared_ptr<const TUserPicture> TMagnetDesign::UserPicture() {
  TdtpBitmapShape* picture = BitmapLayer(TLayer::usrImage);
  if (!picture) return nullptr;
  TdtpBitmapResource& resource = picture->Resource();
  TResourceAccess access(resource);
  // Bytes still in their store are read; a decoded picture keeps the bytes it came from.
  if (resource.State() == TdtpResource::kStateEmpty) resource.EnsureState(TdtpResource::kStateData);
  auto state = std::make_shared<TUserPicture>();
  state->FileName = resource.FileName();
  state->Bytes = std::make_shared<TMapStream>();
  state->Bytes->CopyBytesFrom(resource.Data());
  if (const TDesignObject* entry = LayerObject(TLayer::usrImage)) state->Entry = *entry;
  state->Visible = picture->Visible();
  return state;
}

void TMagnetDesign::RestoreUserPicture(const TUserPicture& state) {
  TdtpBitmapShape* picture = BitmapLayer(TLayer::usrImage);
  if (!picture) return;
  TdtpBitmapResource& resource = picture->Resource();
  if (state.Bytes && !resource.Data().SameBytes(*state.Bytes)) {
    TResourceAccess access(resource);
    const TdtpStorageKind kind = resource.StorageKind();
    resource.Clear();
    resource.SetFileName(state.FileName);
    resource.Data().CopyBytesFrom(*state.Bytes);
    // Passing through another kind marks the bytes as the resource's own, unsaved, as a load does
    // (an external picture is read from its file again instead).
    if (kind != TdtpStorageKind::External) {
      resource.SetStorageKind(kind == TdtpStorageKind::None ? TdtpStorageKind::Embedded : TdtpStorageKind::None);
      resource.SetStorageKind(kind);
    }
    picture->PictureChanged();
  }
  if (TDesignObject* entry = LayerObject(TLayer::usrImage)) *entry = state.Entry;
  picture->SetVisible(state.Visible);
}

void TMagnetDesign::ResetActiveImage() {
  TdtpBitmapShape* picture = ActiveImage();
  if (!picture) return;
  RestoreLayerGeometry(activeImage_);
  picture->SetVisible(true);
  CentreQuarterZoom();
}

std::optional<TImageControls> TMagnetDesign::ImageControls(TLayer layer) const {
  const TdtpShape* picture = Layer(layer);
  if (!picture || LayerClass(layer) != TLayerClass::Bitmap) return std::nullopt;
  const TDesignObject& entry = objects_->Item(picture->ShapeIndex());
  TImageControls c;
  c.Zoom = entry.ZoomWidth > 0 ? Round(static_cast<double>(picture->DocWidth()) * 100 / entry.ZoomWidth) : 100;
  c.Top = Round(picture->DocTop());
  c.Left = Round(picture->DocLeft());
  c.Rotate = AngleSpinValue(picture->DocAngle());
  return c;
}

std::optional<float> TMagnetDesign::ZoomRatio() const {
  const TdtpShape* picture = Layer(activeImage_);
  if (!picture) return std::nullopt;
  const TDesignObject& entry = objects_->Item(picture->ShapeIndex());
  const float ratio = entry.ZoomHeight / entry.ZoomWidth;
  // A missing reference (0 x 0 after "clear template design") gives no ratio to keep.
  if (!std::isfinite(ratio) || ratio <= 0) return std::nullopt;
  return ratio;
}

std::optional<int32_t> TMagnetDesign::HeightForWidth(int32_t width) const {
  const std::optional<float> ratio = ZoomRatio();
  if (!ratio) return std::nullopt;
  return Round(static_cast<double>(width) * *ratio);
}

std::optional<int32_t> TMagnetDesign::WidthForHeight(int32_t height) const {
  const std::optional<float> ratio = ZoomRatio();
  if (!ratio) return std::nullopt;
  return Round(static_cast<double>(height) / *ratio);
}

}  // namespace sw
