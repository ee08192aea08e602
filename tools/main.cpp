// stickwell-cli: inspect and convert Stickwell files from the command line.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "base/exception.h"
#include "platform/settings.h"
#include "shapes/engine_start.h"
#include "storage/resources/resource_thread.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

class UsageException : public Exception {
public:
  using Exception::Exception;
};

const char kUsage[] =
    "usage: stickwell-cli COMMAND ...\n"
    "  storage list FILE              list the streams of a storage file (name, tab, size)\n"
    "  storage cat FILE STREAM        write a stream's bytes to standard output\n"
    "  storage pack OUT NAME=PATH...  write a compact storage file holding those files\n"
    "  xml FILE [--readable|--compact]\n"
    "                                 parse an XML file and write it back\n"
    "  image info FILE                format, width and height of a picture file\n"
    "  image convert IN OUT [--max WxH]\n"
    "                                 decode a picture and encode it by OUT's extension\n"
    "  page FILE [--readable]         build a page or shape from XML and write its XML back\n"
    "  render FILE OUT.png [--page N] [--dpi D]\n"
    "                                 render a page as printed (150 dpi by default) to PNG\n"
    "  view FILE OUT.png --client WxH [--normal] [--fit-page | --zoom P] [--page N]\n"
    "                                 what the document window of that client size shows\n"
    "  print FILE OUT.pdf|OUT.png [--quality low|medium|high|device] [--paper WxH] [--dpi N]\n"
    "        [--offset X,Y] [--pages A-B]\n"
    "                                 print pages on paper of WxH mm (210x297) at N dpi (600) into a\n"
    "                                 PDF or PNG file per sheet; quality medium, offset in mm\n"
    "  magnet info FILE               a magnet template or design: its parameters and layers\n"
    "  magnet layout FILE [OPTIONS]   the copies its print layout places on the sheet\n"
    "  magnet sheet FILE OUT.png [--dpi D] [OPTIONS]\n"
    "                                 that sheet rendered as printed (150 dpi by default); OPTIONS:\n"
    "                                 --paper WxH, --outer X,Y, --inner X,Y (mm), --landscape|\n"
    "                                 --portrait, --uncut|--precut, --skip N,N,...\n"
    "  magnet print FILE OUT.pdf|OUT.png [OPTIONS] [--quality low|medium|high|device] [--dpi N]\n"
    "        [--offset X,Y]           the print run of the print tab on the design's paper (300 dpi)\n"
    "        [--merge FILE.csv [--merge-picture COLUMN]] [--copies N] [--start N]\n"
    "                                 one copy per table row (N of each), as many sheets as needed,\n"
    "                                 the first from position N; a design's own merge file is used\n"
    "        [--skip-used]            leaves out the positions of the template's sheet that earlier\n"
    "                                 prints used (a merge: on its first sheet) and records its own\n"
    "  magnet guide FILE OUT.pdf|OUT.png [OPTIONS] [--dpi N] [--offset X,Y]\n"
    "                                 every position's cut and bleed outline with its number\n"
    "  magnet design TEMPLATE OUT.fmd [--message TEXT] [--font NAME] [--size PT] [--bold] [--italic]\n"
    "        [--text-colour #RRGGBB] [--see-through] [--text-at X,Y] [--text-size WxH]\n"
    "        [--text-turn DEG] [--colour #RRGGBB] [--picture FILE] [--picture-zoom PERCENT]\n"
    "        [--picture-at X,Y] [--picture-turn DEG] [--merge FILE.csv [--merge-picture COLUMN]]\n"
    "                                 a design made from a template as in the design tab\n"
    "  magnet template OUT.fmt --name NAME --size WxH --bleed M [--type basic|clock-face]\n"
    "        [--cutout FILE] [--mask FILE] [--background FILE] [--colour #RRGGBB] [--border]\n"
    "        [OPTIONS]                a template built as the template editor builds one\n"
    "  magnet artwork cutout|mask|background OUT.png --size WxH [--bleed M]\n"
    "        [--shape rectangle|rounded|round] [--radius R] [--colour #RRGGBB] [--alpha A]\n"
    "        [--shade P] [--clock-marks] [--ppi N]\n"
    "                                 a template picture drawn for a magnet of WxH mm\n"
    "  doc info FILE                  a document's settings, pages and shapes (indented by depth)\n"
    "  doc copy IN OUT                load a document or page XML file and save it as a document\n"
    "  doc build OUT INDEX.xml [PAGE.xml...]\n"
    "                                 a document from its settings text and page texts\n";

}  // namespace

void UsageError(const std::string& text) { throw UsageException(text); }

int Main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 1 : 0;
  }
  const std::string command = argv[1];
  Args args(argv + 2, argv + argc);
  try {
    // Every shape kind, so that pages name any of them; the picture cache runs for as long as
    // the command does, as in the designer; a run ended by a signal leaves none of its save
    // files' temporaries behind.
    const std::unique_ptr<TResourceThreadScope> pictureCache = StartEngine();
    if (command == "storage") return CmdStorage(args);
    if (command == "xml") return CmdXml(args);
    if (command == "image") return CmdImage(args);
    if (command == "render") return CmdRender(args);
    if (command == "view") return CmdView(args);
    if (command == "print") return CmdPrint(args);
    if (command == "page") return CmdPage(args);
    if (command == "magnet") {
      // The settings the designer keeps too (the used positions of a sheet).
      TFileSettings settings(DefaultSettingsFile());
      return CmdMagnet(args, &settings);
    }
    if (command == "doc") return CmdDoc(args);
    UsageError("unknown command \"" + command + "\"");
  } catch (const UsageException& e) {
    // One line, not the whole usage: the fault stays in sight.
    std::fprintf(stderr, "stickwell-cli: %s (stickwell-cli --help shows the usage)\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

}  // namespace sw::cli

int main(int argc, char** argv) { return sw::cli::Main(argc, argv); }
