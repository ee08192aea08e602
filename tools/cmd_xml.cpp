// stickwell-cli xml FILE [--readable|--compact]: parses an XML file with the program's XML
// settings and writes it back in the program's text form (byte-order mark, UTF-8).
#include <cstdio>
#include <string>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/xml/native_xml.h"
#include "tools/commands.h"

namespace sw::cli {

int CmdXml(const Args& args) {
  std::string fileName;
  bool haveLayout = false;
  TXmlLayout layout = TXmlLayout::Compact;
  for (const std::string& arg : args) {
    if (arg == "--readable" || arg == "--compact") {
      if (haveLayout) UsageError("xml: give at most one of --readable and --compact");
      haveLayout = true;
      layout = arg == "--readable" ? TXmlLayout::Readable : TXmlLayout::Compact;
    } else if (!arg.empty() && arg[0] == '-') {
      UsageError("xml: unknown option \"" + arg + "\"");
    } else if (fileName.empty()) {
      fileName = arg;
    } else {
      UsageError("xml: only one FILE may be given");
    }
  }
  if (fileName.empty()) UsageError("xml: FILE missing");

  TNativeXml xml;
  xml.LoadFromFile(fileName);
  if (haveLayout) xml.SetLayout(layout);
  TMemoryStream out;
  xml.SaveToStream(out);
  if (out.Size() > 0 &&
      std::fwrite(out.Memory(), 1, static_cast<size_t>(out.Size()), stdout) !=
          static_cast<size_t>(out.Size())) {
    RaiseStreamError("Cannot write to output stream");
  }
  if (std::fflush(stdout) != 0) RaiseStreamError("Cannot write to output stream");
  return 0;
}

}  // namespace sw::cli
