// stickwell-cli page FILE [--readable]: builds a page (root "Page") or a shape (root "Shape" or
// "shape") from an XML file through the shape-class registry and writes its XML back in the
// program's own form. Load errors of single shapes are printed and make the status 1.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "engine/document.h"
#include "engine/registry.h"
#include "storage/xml/native_xml.h"
#include "tools/commands.h"

namespace sw::cli {

int CmdPage(const Args& args) {
  std::string fileName;
  bool readable = false;
  for (const std::string& arg : args) {
    if (arg == "--readable") {
      readable = true;
    } else if (!arg.empty() && arg[0] == '-') {
      UsageError("page: unknown option \"" + arg + "\"");
    } else if (fileName.empty()) {
      fileName = arg;
    } else {
      UsageError("page: only one FILE may be given");
    }
  }
  if (fileName.empty()) UsageError("page: FILE missing");

  TNativeXml input;
  input.LoadFromFile(fileName);
  const TXmlNode* root = input.Root();
  const std::string rootName = root ? root->Name() : std::string();
  const bool isPage = rootName == "Page";
  if (!isPage && rootName != "Shape" && rootName != "shape") {
    RaiseError("The root element must be \"Page\", \"Shape\" or \"shape\", not \"" + rootName + "\"");
  }

  TdtpDocument document;
  std::vector<std::string> errors;
  document.OnLoadError = [&errors](TdtpDocument*, TdtpShape*, const std::string& text) {
    errors.push_back(text);
  };
  // Building is reading: no undo records, no change announcements.
  document.DisableUndo();
  document.BeginLoading();
  TdtpShape* shape = nullptr;
  try {
    std::unique_ptr<TdtpShape> made =
        CreateShapeByClassName(root->ReadString("ClassName", isPage ? TdtpPage::StaticClassName() : ""));
    if (isPage) {
      std::unique_ptr<TdtpPage> page(dynamic_cast<TdtpPage*>(made.get()));
      if (!page) RaiseError("A \"Page\" element must describe a page");
      made.release();
      document.Clear();
      shape = page.get();
      if (document.AddPage(std::move(page)) < 0) RaiseError("Cannot add the page");
    } else {
      shape = made.get();
      if (document.AddShape(std::move(made)) < 0) RaiseError("Cannot add the shape");
    }
    shape->LoadFromXml(root);
  } catch (...) {
    document.EndLoading();
    throw;
  }
  document.EndLoading();

  TNativeXml output(rootName);
  if (readable) output.SetLayout(TXmlLayout::Readable);
  if (root->HasAttribute("Index")) output.Root()->AddAttribute("Index", root->AttributeValue("Index"));
  shape->SaveToXml(*output.Root());
  TMemoryStream out;
  output.SaveToStream(out);
  if (out.Size() > 0 &&
      std::fwrite(out.Memory(), 1, static_cast<size_t>(out.Size()), stdout) != static_cast<size_t>(out.Size())) {
    RaiseStreamError("Cannot write to output stream");
  }
  if (std::fflush(stdout) != 0) RaiseStreamError("Cannot write to output stream");
  for (const std::string& error : errors) std::fprintf(stderr, "%s\n", error.c_str());
  return errors.empty() ? 0 : 1;
}

}  // namespace sw::cli
