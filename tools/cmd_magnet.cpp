// stickwell-cli magnet info|layout|sheet: a magnet template or design as the designer applies it,
// the copies its print layout places on a sheet, and that sheet rendered as printed.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "base/exception.h"
#include "base/strings.h"
#include "engine/document.h"
#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "platform/fonts.h"
#include "shapes/bitmap_shape.h"
#include "shapes/register.h"
#include "storage/xml/native_xml.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

constexpr char kMagnetUsage[] =
    "magnet info FILE | magnet layout FILE [OPTIONS] | magnet sheet FILE OUT.png [--dpi D] [OPTIONS]";
constexpr double kMaxSheetDpi = 1200;

// Two numbers "AxB" or "A,B" (with "." decimals) for option.
void ParsePair(const std::string& text, const std::string& option, float& a, float& b) {
  const size_t cut = text.find_first_of("x,");
  const std::optional<double> first = cut == std::string::npos ? std::nullopt : TryParseDecimal(text.substr(0, cut));
  const std::optional<double> second = cut == std::string::npos ? std::nullopt : TryParseDecimal(text.substr(cut + 1));
  if (!first || !second || std::fabs(*first) > 1e6 || std::fabs(*second) > 1e6) {
    UsageError(option + " wants two numbers such as 15,23, got \"" + text + "\"");
  }
  a = static_cast<float>(*first);
  b = static_cast<float>(*second);
}

// The print options shared by layout and sheet, applied over the settings the file stores.
void ApplyPrintOption(TMagnetDesign& magnet, const std::string& option, const std::string& value) {
  float a = 0, b = 0;
  if (option == "--paper") {
    ParsePair(value, option, a, b);
    if (a < 1 || b < 1) UsageError("--paper wants a size of at least 1x1 mm");
    magnet.SetPaperWidth(static_cast<int32_t>(std::lround(a)));
    magnet.SetPaperHeight(static_cast<int32_t>(std::lround(b)));
  } else if (option == "--outer") {
    ParsePair(value, option, a, b);
    magnet.SetOuterMarginX(a);
    magnet.SetOuterMarginY(b);
  } else if (option == "--inner") {
    ParsePair(value, option, a, b);
    magnet.SetInnerMarginX(a);
    magnet.SetInnerMarginY(b);
  } else if (option == "--paper-type") {
    if (value != "precut" && value != "uncut") UsageError("--paper-type is precut or uncut");
    magnet.SetPrecut(value == "precut");
  } else if (option == "--orientation") {
    if (value != "portrait" && value != "landscape") UsageError("--orientation is portrait or landscape");
    magnet.SetPortrait(value == "portrait");
  } else {
    UsageError("unknown option \"" + option + "\"");
  }
}

// Position numbers "3,7" left blank on the sheet (numbered row x columns + column + 1).
std::vector<int32_t> ParseSkips(const std::string& text) {
  std::vector<int32_t> skips;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(',', start), text.size());
    skips.push_back(ParsePositiveInt(text.substr(start, end - start), "--skip"));
    start = end + 1;
  }
  return skips;
}

// Loads FILE into the design as "load design" does, then the options from index first on.
std::vector<int32_t> OpenMagnet(TMagnetDesign& magnet, const Args& args, size_t first, double* dpi) {
  RegisterShapeKinds();
  InitXmlDefaults();
  magnet.OpenDesign(args[0]);
  std::vector<int32_t> skips;
  for (size_t i = first; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) UsageError("option \"" + args[i] + "\" wants a value");
    if (args[i] == "--skip") {
      skips = ParseSkips(args[i + 1]);
    } else if (args[i] == "--dpi" && dpi) {
      *dpi = ParsePositiveNumber(args[i + 1], "--dpi");
      if (*dpi > kMaxSheetDpi) UsageError(Format("--dpi goes up to %g", kMaxSheetDpi));
    } else {
      ApplyPrintOption(magnet, args[i], args[i + 1]);
    }
  }
  return skips;
}

// The layout with the skipped positions deselected (the grid is sized by a first layout).
TPrintLayout LayOut(TMagnetDesign& magnet, TPrintSheet& sheet, const std::vector<int32_t>& skips) {
  TPrintLayout layout = sheet.BuildPrintLayout(magnet);
  if (skips.empty()) return layout;
  TLayoutGrid& grid = magnet.Grid();
  for (const int32_t number : skips) {
    if (number > grid.Rows() * grid.Columns()) {
      RaiseError(Format("Position %d is not on the sheet (it has %d)", number, grid.Rows() * grid.Columns()));
    }
    grid.SetSelected((number - 1) % grid.Columns(), (number - 1) / grid.Columns(), false);
  }
  return sheet.BuildPrintLayout(magnet);
}

void PrintInfo(TMagnetDesign& magnet) {
  const TPrintSettings& s = magnet.PrintSettings();
  const TdtpDocument& doc = magnet.Document();
  std::printf("template name\t%s\n", magnet.TemplateName().c_str());
  std::printf("template type\t%s\n", magnet.TemplateType().c_str());
  std::printf("page\t%s x %s mm\n", FormatDecimal(doc.PageWidth()).c_str(), FormatDecimal(doc.PageHeight()).c_str());
  std::printf("bleed margin\t%s\n", FormatDecimal(magnet.BleedMargin()).c_str());
  std::printf("outer margins\t%s, %s\n", FormatDecimal(s.OuterMarginX).c_str(), FormatDecimal(s.OuterMarginY).c_str());
  std::printf("inner margins\t%s, %s\n", FormatDecimal(s.InnerMarginX).c_str(), FormatDecimal(s.InnerMarginY).c_str());
  std::printf("orientation\t%s\n", s.Portrait ? "portrait" : "landscape");
  std::printf("paper type\t%s\n", s.Precut ? "precut" : "uncut");
  for (const TLayer layer : AllLayers()) {
    const TdtpShape* shape = magnet.Layer(layer);
    if (!shape) {
      std::printf("%s\tabsent\n", LayerName(layer));
      continue;
    }
    std::printf("%s\t%d\t%s\t%s\talpha %u\t%s,%s %sx%s\tangle %s\n", LayerName(layer), shape->ShapeIndex(),
                shape->ClassName(), shape->Visible() ? "visible" : "hidden", shape->MasterAlpha(),
                FormatDecimal(shape->DocLeft()).c_str(), FormatDecimal(shape->DocTop()).c_str(),
                FormatDecimal(shape->DocWidth()).c_str(), FormatDecimal(shape->DocHeight()).c_str(),
                FormatDecimal(shape->DocAngle()).c_str());
  }
}

void PrintLayout(const TPrintLayout& layout, TMagnetDesign& magnet) {
  std::printf("%d columns x %d rows\n", layout.Columns, layout.Rows);
  if (layout.Capped) std::printf("%s\n", layout.Message.c_str());
  for (const TPrintPosition& p : layout.Positions) {
    const TLayoutGrid& grid = magnet.Grid();
    std::printf("%d\t%s,%s\tangle %s%s\n", grid.PositionNumber(p.Column, p.GridRow), FormatDecimal(p.Left).c_str(),
                FormatDecimal(p.Top).c_str(), FormatDecimal(p.Angle).c_str(),
                grid.Selected(p.Column, p.GridRow) ? "" : "\tskipped");
  }
}

}  // namespace

int CmdMagnet(const Args& args) {
  if (args.size() < 2) UsageError(std::string("magnet wants ") + kMagnetUsage);
  const std::string verb = args[0];
  const Args rest(args.begin() + 1, args.end());
  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TMagnetDesign magnet(services);
  if (verb == "info") {
    if (rest.size() != 1) UsageError("magnet info wants FILE only");
    OpenMagnet(magnet, rest, 1, nullptr);
    PrintInfo(magnet);
    return 0;
  }
  TPrintSheet sheet(services);
  if (verb == "layout") {
    const std::vector<int32_t> skips = OpenMagnet(magnet, rest, 1, nullptr);
    PrintLayout(LayOut(magnet, sheet, skips), magnet);
    return 0;
  }
  if (verb == "sheet") {
    if (rest.size() < 2) UsageError("magnet sheet wants FILE OUT.png");
    double dpi = 150;
    const std::vector<int32_t> skips = OpenMagnet(magnet, rest, 2, &dpi);
    const TPrintLayout layout = LayOut(magnet, sheet, skips);
    TdtpDocument& preview = sheet.Document();
    const std::unique_ptr<TBitmap32> picture = preview.RenderPage(*preview.CurrentPage(), dpi / 25.4);
    if (picture->Empty()) RaiseError("The sheet has no area to render");
    WritePng(*picture, rest[1]);
    std::printf("%d columns x %d rows, %d copies, %dx%d pixels\n", layout.Columns, layout.Rows,
                preview.ShapeCount(), picture->Width(), picture->Height());
    return 0;
  }
  UsageError("unknown magnet verb \"" + verb + "\"");
}

}  // namespace sw::cli
