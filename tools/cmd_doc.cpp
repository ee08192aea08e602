// stickwell-cli doc info FILE | doc copy IN OUT | doc build OUT INDEX.xml PAGE.xml...
#include <cstdio>
#include <memory>
#include <string>

#include "base/exception.h"
#include "engine/document.h"
#include "platform/fonts.h"
#include "storage/xml/native_xml.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

// Lengths and angles as the XML writes them: shortest form, no trailing zeros.
std::string Num(double value) { return Format("%g", value); }

// The settings exactly as the document would store them, one "name: value" per line; an element
// with elements of its own (the default background picture) is named with their count only.
void PrintSettings(TdtpDocument& doc) {
  TNativeXml xml("Document");
  doc.WriteSettings(*xml.Root());
  std::printf("settings\n");
  const TXmlNode& root = *xml.Root();
  for (int i = 0; i < root.ChildCount(); ++i) {
    const TXmlNode& item = *root.Child(i);
    if (item.ChildCount() > 0 && item.Child(0)->Kind() == TXmlNodeKind::Element) {
      std::printf("  %s: (%d elements)\n", item.Name().c_str(), item.ChildCount());
    } else {
      std::printf("  %s: %s\n", item.Name().c_str(), item.Text().c_str());
    }
  }
}

void PrintShape(const TdtpShape& shape, int depth) {
  std::printf("%*s%s \"%s\" left %s top %s width %s height %s angle %s\n", 2 * depth, "", shape.ClassName(),
              shape.Name().c_str(), Num(shape.DocLeft()).c_str(), Num(shape.DocTop()).c_str(),
              Num(shape.DocWidth()).c_str(), Num(shape.DocHeight()).c_str(), Num(shape.DocAngle()).c_str());
  for (int i = 0; i < shape.ChildCount(); ++i) PrintShape(*shape.Child(i), depth + 1);
}

// Prints page index's size, stream and shapes; a page that cannot be read is reported and
// false returned.
bool PrintPage(TdtpDocument& doc, int index) {
  const std::string stream = Format("Page%.4d.xml", index + 1);
  TsdStorage& storage = doc.Storage();
  const int at = storage.StreamIndex(stream);
  const std::string where =
      at >= 0 ? Format("stream %s (%lld bytes)", stream.c_str(), static_cast<long long>(storage.StreamSize(at)))
              : "not in the archive";
  try {
    doc.SetCurrentPageIndex(index);
  } catch (const std::exception& e) {
    std::printf("page %d: %s, unreadable: %s\n", index + 1, where.c_str(), e.what());
    return false;
  }
  const TdtpPage& page = *doc.Pages(index);
  std::printf("page %d: %s x %s mm, %s\n", index + 1, Num(page.DocWidth()).c_str(), Num(page.DocHeight()).c_str(),
              where.c_str());
  for (int i = 0; i < page.ChildCount(); ++i) PrintShape(*page.Child(i), 1);
  return true;
}

int DocInfo(const std::string& fileName) {
  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TdtpDocument doc(services);
  std::string loadErrors;
  doc.OnLoadError = [&loadErrors](TdtpDocument*, TdtpShape*, const std::string& error) {
    loadErrors += "  load error: " + error + "\n";
  };
  LoadDocumentFile(doc, fileName);
  PrintSettings(doc);
  std::printf("pages %d\n", doc.PageCount());
  bool allRead = true;
  for (int i = 0; i < doc.PageCount(); ++i) {
    allRead = PrintPage(doc, i) && allRead;
    std::fputs(loadErrors.c_str(), stdout);
    loadErrors.clear();
  }
  return allRead ? 0 : 1;
}

int DocCopy(const std::string& in, const std::string& out) {
  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TdtpDocument doc(services);
  LoadDocumentFile(doc, in);
  // A page file is not in any archive yet, so all of it is written.
  doc.SaveToFile(out);
  std::printf("%d pages\n", doc.PageCount());
  return 0;
}

// Parses an XML file whose root element must be rootName.
void LoadRoot(TNativeXml& xml, const std::string& fileName, const std::string& rootName) {
  if (!FileExists(fileName)) RaiseError("Cannot find file \"" + fileName + "\"");
  xml.LoadFromFile(fileName);
  if (!xml.Root() || xml.Root()->Name() != rootName) {
    RaiseError("\"" + fileName + "\" has no root element " + rootName);
  }
}

// A document from a settings text and page texts, every page written anew with its thumbnail.
int DocBuild(const Args& args) {
  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TdtpDocument doc(services);
  TNativeXml index;
  LoadRoot(index, args[2], "Document");
  doc.SetPageCount(0);
  doc.ReadSettings(*index.Root());
  for (size_t i = 3; i < args.size(); ++i) {
    TNativeXml xml;
    LoadRoot(xml, args[i], "Page");
    // Attached first, so that its pictures know their document.
    TdtpPage* page = doc.Pages(doc.AddPage(std::make_unique<TdtpPage>()));
    if (!page) RaiseError("Invalid page count");
    page->LoadFromXml(xml.Root());
  }
  doc.SetCurrentPageIndex(0);
  doc.SaveToFile(args[1]);
  std::printf("%d pages\n", doc.PageCount());
  return 0;
}

}  // namespace

int CmdDoc(const Args& args) {
  if (args.size() == 2 && args[0] == "info") return DocInfo(args[1]);
  if (args.size() == 3 && args[0] == "copy") return DocCopy(args[1], args[2]);
  if (args.size() >= 3 && args[0] == "build") return DocBuild(args);
  UsageError("doc wants info FILE, copy IN OUT or build OUT INDEX.xml [PAGE.xml...]");
}

}  // namespace sw::cli
