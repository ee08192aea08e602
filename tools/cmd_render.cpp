// stickwell-cli render FILE OUT.png [--page N] [--dpi D]
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/stream.h"
#include "base/strings.h"
#include "engine/document.h"
#include "platform/fonts.h"
#include "storage/formats/png_format.h"
#include "storage/xml/native_xml.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

// Highest resolution the command accepts; the bitmap's own limit usually comes first.
constexpr double kMaxDpi = 9600;

bool StartsWithStorageMagic(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  char magic[4] = {};
  return file.Read(magic, 4) == 4 && std::memcmp(magic, "STOR", 4) == 0;
}

}  // namespace

void LoadDocumentFile(TdtpDocument& doc, const std::string& fileName) {
  if (!FileExists(fileName)) RaiseError("Cannot find file \"" + fileName + "\"");
  if (StartsWithStorageMagic(fileName)) {
    doc.LoadFromFile(fileName);
    return;
  }
  TNativeXml xml;
  xml.LoadFromFile(fileName);
  const TXmlNode* root = xml.Root();
  if (!root || root->Name() != "Page") {
    RaiseError("\"" + fileName + "\" is neither a document nor a page XML file (root element Page)");
  }
  doc.CurrentPage()->LoadFromXml(root);
  doc.SetModified(false);
}

void SelectPage(TdtpDocument& doc, int page) {
  if (page < 1 || page > doc.PageCount()) {
    RaiseError(Format("Page %d does not exist (the file has %d)", page, doc.PageCount()));
  }
  doc.SetCurrentPageIndex(page - 1);
}

void WritePng(const TBitmap32& bitmap, const std::string& fileName) {
  // Encoded in memory first, so that a failure leaves no partial file behind.
  TMemoryStream encoded;
  EncodePng(bitmap, encoded);
  encoded.SaveToFile(fileName);
}

int ParsePositiveInt(const std::string& text, const std::string& option) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(text) <= 0) {
    UsageError(option + " wants a positive whole number, got \"" + text + "\"");
  }
  return std::stoi(text);
}

double ParsePositiveNumber(const std::string& text, const std::string& option) {
  // Read the same in every locale: "." (or ",") is the decimal point.
  const std::optional<double> parsed = text.find(' ') == std::string::npos ? TryParseDecimal(text) : std::nullopt;
  const double value = parsed.value_or(0);
  if (!parsed || value <= 0) {
    UsageError(option + " wants a positive number, got \"" + text + "\"");
  }
  return value;
}

int CmdRender(const Args& args) {
  if (args.size() < 2) UsageError("render wants FILE OUT.png [--page N] [--dpi D]");
  int page = 1;
  double dpi = 150;
  for (size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) UsageError("option \"" + args[i] + "\" wants a value");
    if (args[i] == "--page") {
      page = ParsePositiveInt(args[i + 1], "--page");
    } else if (args[i] == "--dpi") {
      dpi = ParsePositiveNumber(args[i + 1], "--dpi");
      if (dpi > kMaxDpi) UsageError(Format("--dpi goes up to %g", kMaxDpi));
    } else {
      UsageError("unknown option \"" + args[i] + "\"");
    }
  }
  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TdtpDocument doc(services);
  LoadDocumentFile(doc, args[0]);
  SelectPage(doc, page);
  const std::unique_ptr<TBitmap32> picture = doc.RenderPage(*doc.CurrentPage(), DpmOfDpi(dpi));
  if (picture->Empty()) RaiseError("The page has no area to render");
  WritePng(*picture, args[1]);
  std::printf("%dx%d\n", picture->Width(), picture->Height());
  return 0;
}

}  // namespace sw::cli
