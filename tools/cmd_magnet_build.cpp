// stickwell-cli magnet design|template|artwork: a design made from a template as a user makes it
// in the design tab, a template built as the template editor builds one, and the pictures of the
// templates this program ships, drawn by the program.
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "magnet/magnet_design.h"
#include "magnet/template_artwork.h"
#include "platform/fonts.h"
#include "shapes/memo_shape.h"
#include "shapes/text_shape.h"
#include "tools/commands.h"
#include "tools/magnet_options.h"

namespace sw::cli {

namespace {

constexpr float kMaxFontPoints = 1000;
constexpr float kMaxTemplateSide = 2000;
constexpr float kMaxArtworkPpi = 1200;

// A positive number of at most limit.
float ParseBounded(const std::string& text, const std::string& option, float limit) {
  const float value = ParseNumber(text, option);
  if (value <= 0 || value > limit) {
    UsageError(option + " wants a number above 0 and up to " + FormatDecimal(limit) + ", got \"" + text + "\"");
  }
  return value;
}

// A picture that loaded from damaged data is used, and the user is told.
void WarnAboutPicture(const TMagnetDesign& magnet) {
  if (!magnet.PictureWarning().empty()) std::fprintf(stderr, "warning: %s\n", magnet.PictureWarning().c_str());
}

struct TMagnetSession {
  std::unique_ptr<TFontSystem> Fonts = TFontSystem::CreateForMachine();
  TServices Services;
  std::unique_ptr<TMagnetDesign> Magnet;
  TMagnetSession() {
    Services.Fonts = Fonts.get();
    Magnet = std::make_unique<TMagnetDesign>(Services);
  }
};

}  // namespace

int CmdMagnetDesign(const Args& args) {
  if (args.size() < 2) UsageError("magnet design wants TEMPLATE OUT.fmd");
  TOptionReader options(args, 2);
  const std::optional<std::string> message = options.Value("--message");
  const std::optional<std::string> font = options.Value("--font");
  const std::optional<std::string> size = options.Value("--size");
  const bool bold = options.Flag("--bold"), italic = options.Flag("--italic");
  const std::optional<std::string> textColour = options.Value("--text-colour");
  const bool seeThrough = options.Flag("--see-through");
  const std::optional<std::string> textAt = options.Value("--text-at");
  const std::optional<std::string> textSize = options.Value("--text-size");
  const std::optional<std::string> textTurn = options.Value("--text-turn");
  const std::optional<std::string> colour = options.Value("--colour");
  const std::optional<std::string> picture = options.Value("--picture");
  const std::optional<std::string> pictureZoom = options.Value("--picture-zoom");
  const std::optional<std::string> pictureAt = options.Value("--picture-at");
  const std::optional<std::string> pictureTurn = options.Value("--picture-turn");
  const std::optional<std::string> merge = options.Value("--merge");
  const std::optional<std::string> mergePicture = options.Value("--merge-picture");
  options.Finish();
  if (mergePicture && !merge) UsageError("--merge-picture names a column of the --merge file");

  // Every value is checked before the template is touched.
  std::optional<float> points;
  if (size) points = ParseBounded(*size, "--size", kMaxFontPoints);
  std::optional<TdtpColor> fontColour, backColour;
  if (textColour) fontColour = ParseColour(*textColour, "--text-colour");
  if (colour) backColour = ParseColour(*colour, "--colour");
  float textLeft = 0, textTop = 0, textWidth = 0, textHeight = 0, pictureLeft = 0, pictureTop = 0;
  // Places and sizes are millimetres on a magnet: within the largest template either way.
  auto within = [](const char* option, float a, float b) {
    if (std::fabs(a) > kMaxTemplateSide || std::fabs(b) > kMaxTemplateSide) {
      UsageError(std::string(option) + " wants millimetres from -" + FormatDecimal(kMaxTemplateSide) + " to " +
                 FormatDecimal(kMaxTemplateSide));
    }
  };
  if (textAt) {
    ParsePair(*textAt, "--text-at", textLeft, textTop);
    within("--text-at", textLeft, textTop);
  }
  if (textSize) {
    ParsePair(*textSize, "--text-size", textWidth, textHeight);
    if (textWidth <= 0 || textHeight <= 0) UsageError("--text-size wants a positive width and height");
    within("--text-size", textWidth, textHeight);
  }
  if (pictureAt) {
    ParsePair(*pictureAt, "--picture-at", pictureLeft, pictureTop);
    within("--picture-at", pictureLeft, pictureTop);
  }
  if (message && Utf8ToUtf16(*message).size() > kMaxTextLength) {
    UsageError(Format("--message has %zu characters; a message has at most %zu", Utf8ToUtf16(*message).size(),
                      kMaxTextLength));
  }
  std::optional<int32_t> textAngle, pictureAngle, zoom;
  if (textTurn) textAngle = FoldRotateSpin(ParseWhole(*textTurn, "--text-turn") % 360);
  if (pictureTurn) pictureAngle = FoldRotateSpin(ParseWhole(*pictureTurn, "--picture-turn") % 360);
  if (pictureZoom) {
    zoom = ParseWhole(*pictureZoom, "--picture-zoom");
    if (*zoom < 1 || *zoom > 1000) UsageError("--picture-zoom goes from 1 to 1000 percent");
  }

  TMagnetSession session;
  TMagnetDesign& magnet = *session.Magnet;
  // "select template", then the design tab's controls in the order they sit.
  magnet.OpenTemplate(args[0]);
  if (message) magnet.SetMessageText(Utf8ToUtf16(*message));
  if (font || points || bold || italic || fontColour) {
    const TdtpMemoShape* text = magnet.TextLayer();
    if (!text) RaiseError("The template has no message");
    magnet.SetMessageFont(font.value_or(text->FontName()), points ? *points : PointsOfMm(text->FontHeight()),
                          bold || (!font && !points && text->Bold()), italic || (!font && !points && text->Italic()),
                          fontColour.value_or(text->FontColor()));
  }
  if (seeThrough) magnet.SetTextBoxSeeThrough(true);
  if (textSize) magnet.SizeText(textWidth, textHeight);
  if (textAt) magnet.MoveText(textLeft, textTop);
  if (textAngle) magnet.RotateText(*textAngle);
  if (backColour) magnet.SetBackgroundColour(*backColour);
  if (picture) {
    magnet.LoadUserPicture(*picture);
    WarnAboutPicture(magnet);
  }
  if (zoom) magnet.ZoomActiveImage(*zoom);
  if (pictureAt) magnet.MoveActiveImage(pictureLeft, pictureTop);
  if (pictureAngle) magnet.RotateActiveImage(*pictureAngle);
  if (merge) magnet.SetMerge(*merge, mergePicture.value_or(""));
  magnet.SaveDesign(args[1]);
  std::printf("%s\n", magnet.DesignFileName().c_str());
  return 0;
}

int CmdMagnetTemplate(const Args& args) {
  if (args.empty()) UsageError("magnet template wants OUT.fmt");
  TOptionReader options(args, 1);
  const std::optional<std::string> name = options.Value("--name");
  const std::optional<std::string> size = options.Value("--size");
  const std::optional<std::string> bleed = options.Value("--bleed");
  const std::optional<std::string> type = options.Value("--type");
  const std::optional<std::string> cutout = options.Value("--cutout");
  const std::optional<std::string> mask = options.Value("--mask");
  const std::optional<std::string> background = options.Value("--background");
  const std::optional<std::string> colour = options.Value("--colour");
  const bool border = options.Flag("--border");
  if (!name || !size || !bleed) UsageError("magnet template wants --name NAME --size WxH --bleed M");
  if (!cutout && !background) UsageError("magnet template wants a --cutout or a --background picture to start from");
  float width = 0, height = 0;
  ParsePair(*size, "--size", width, height);
  if (width < 1 || height < 1 || width > kMaxTemplateSide || height > kMaxTemplateSide ||
      width != std::floor(width) || height != std::floor(height)) {
    UsageError("--size wants whole millimetres from 1x1 to " + FormatDecimal(kMaxTemplateSide) + "x" +
               FormatDecimal(kMaxTemplateSide));
  }
  const float margin = ParseNumber(*bleed, "--bleed");
  if (margin < 0 || margin > kMaxBleedMargin) {
    UsageError("--bleed goes from 0 to " + FormatDecimal(kMaxBleedMargin) + " mm");
  }
  std::string typeText = kTemplateTypeBasic;
  if (type) {
    if (*type == "clock-face") {
      typeText = kTemplateTypeClockFace;
    } else if (*type != "basic") {
      UsageError("--type is basic or clock-face");
    }
  }
  std::optional<TdtpColor> backColour;
  if (colour) backColour = ParseColour(*colour, "--colour");

  TMagnetSession session;
  TMagnetDesign& magnet = *session.Magnet;
  const std::vector<int32_t> skips = ReadLayoutOptions(options, magnet);
  options.Finish();
  if (!skips.empty()) UsageError("a template keeps no skipped positions; --skip does not apply");
  // The print settings given are set after the pictures, whose load resets them.
  const TPrintSettings print = magnet.PrintSettings();

  // As the template editor: "clear template design", then each picture chosen and loaded.
  magnet.NewDesign();
  if (background) {
    magnet.ChooseActiveImage(TLayer::bgImage);
    magnet.LoadActiveImage(*background);
    WarnAboutPicture(magnet);
  }
  if (cutout) {
    magnet.ChooseActiveImage(TLayer::olImage);
    magnet.LoadActiveImage(*cutout);
    WarnAboutPicture(magnet);
  }
  magnet.SetBleedMargin(margin);
  magnet.KeepAspectRatio = false;
  magnet.SetTemplateWidth(static_cast<int32_t>(width));
  magnet.SetTemplateHeight(static_cast<int32_t>(height));
  magnet.PreviewTemplate();
  // The mask covers the page, so it comes once the page has its size; it shows only in prints.
  magnet.SetViewMask(false);
  if (mask) {
    magnet.ChooseActiveImage(TLayer::olMask);
    magnet.LoadActiveImage(*mask);
    WarnAboutPicture(magnet);
  }
  magnet.SetBorder(border);
  if (backColour) magnet.SetBackgroundColour(*backColour);
  magnet.SetPaperWidth(print.PaperWidth);
  magnet.SetPaperHeight(print.PaperHeight);
  magnet.SetOuterMarginX(print.OuterMarginX);
  magnet.SetOuterMarginY(print.OuterMarginY);
  magnet.SetInnerMarginX(print.InnerMarginX);
  magnet.SetInnerMarginY(print.InnerMarginY);
  magnet.SetPortrait(print.Portrait);
  magnet.SetPrecut(print.Precut);
  magnet.SetTemplateName(*name);
  magnet.SetTemplateType(typeText);
  magnet.SaveTemplate(args[0]);
  std::printf("%s\t%s\t%d x %d mm, bleed %s\n", magnet.TemplateFileName().c_str(), magnet.TemplateName().c_str(),
              magnet.TemplateWidth(), magnet.TemplateHeight(), FormatDecimal(magnet.BleedMargin()).c_str());
  return 0;
}

int CmdMagnetArtwork(const Args& args) {
  if (args.size() < 2) UsageError("magnet artwork wants cutout|mask|background OUT.png");
  const std::string kind = args[0];
  if (kind != "cutout" && kind != "mask" && kind != "background") {
    UsageError("magnet artwork draws a cutout, a mask or a background, not \"" + kind + "\"");
  }
  TOptionReader options(args, 2);
  TArtworkOutline outline;
  const std::optional<std::string> size = options.Value("--size");
  if (!size) UsageError("magnet artwork wants --size WxH");
  ParsePair(*size, "--size", outline.Width, outline.Height);
  if (const auto bleed = options.Value("--bleed")) outline.Bleed = ParseNumber(*bleed, "--bleed");
  if (const auto shape = options.Value("--shape")) {
    const std::optional<TArtworkShape> parsed = ParseArtworkShape(*shape);
    if (!parsed) UsageError("--shape is rectangle, rounded or round");
    outline.Shape = *parsed;
  }
  if (const auto radius = options.Value("--radius")) outline.CornerRadius = ParseNumber(*radius, "--radius");
  if (outline.Shape == TArtworkShape::RoundedRectangle && outline.CornerRadius <= 0) {
    UsageError("a rounded shape wants --radius R");
  }
  if (const auto ppi = options.Value("--ppi")) {
    outline.PixelsPerMm = ParseBounded(*ppi, "--ppi", kMaxArtworkPpi) / kMmPerInchF;
  }
  TRgbColor rgb = 0xFFFFFF;
  if (const auto colour = options.Value("--colour")) rgb = ParseRgb(*colour, "--colour");
  int32_t alpha = 128;
  if (const auto value = options.Value("--alpha")) {
    alpha = ParseWhole(*value, "--alpha");
    if (alpha < 0 || alpha > 255) UsageError("--alpha goes from 0 to 255");
  }
  int32_t shade = 0;
  if (const auto value = options.Value("--shade")) {
    shade = ParseWhole(*value, "--shade");
    if (shade < 0 || shade > 100) UsageError("--shade goes from 0 to 100 percent");
  }
  const bool clockMarks = options.Flag("--clock-marks");
  options.Finish();
  try {
    CheckArtworkOutline(outline);
  } catch (const Exception& e) {
    UsageError(e.what());
  }

  std::unique_ptr<TBitmap32> picture;
  if (kind == "cutout") {
    picture = DrawCutoutImage(outline, rgb, static_cast<uint8_t>(alpha), clockMarks);
  } else if (kind == "mask") {
    picture = DrawCutoutMask(outline);
  } else {
    picture = DrawPlainBackground(outline, rgb, shade);
  }
  WritePng(*picture, args[1]);
  std::printf("%dx%d\n", picture->Width(), picture->Height());
  return 0;
}

}  // namespace sw::cli
