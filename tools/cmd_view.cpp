// stickwell-cli view FILE OUT.png --client WxH [--normal] [--fit-page | --zoom P] [--page N]
#include <cstdio>
#include <memory>
#include <string>

#include "base/exception.h"
#include "engine/document.h"
#include "platform/fonts.h"
#include "platform/headless_window_host.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

// "WxH" with both numbers positive.
void ParseClient(const std::string& text, int32_t& width, int32_t& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) UsageError("--client wants WIDTHxHEIGHT, got \"" + text + "\"");
  width = ParsePositiveInt(text.substr(0, x), "--client");
  height = ParsePositiveInt(text.substr(x + 1), "--client");
}

}  // namespace

int CmdView(const Args& args) {
  if (args.size() < 2) UsageError("view wants FILE OUT.png --client WxH [--normal] [--fit-page | --zoom P]");
  int32_t width = 0, height = 0;
  bool normal = false, fitPage = false;
  double zoom = 0;
  int page = 1;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& option = args[i];
    const bool hasValue = i + 1 < args.size();
    if (option == "--normal") {
      normal = true;
    } else if (option == "--fit-page") {
      fitPage = true;
    } else if (option == "--client" && hasValue) {
      ParseClient(args[++i], width, height);
    } else if (option == "--zoom" && hasValue) {
      zoom = ParsePositiveNumber(args[++i], "--zoom");
    } else if (option == "--page" && hasValue) {
      page = ParsePositiveInt(args[++i], "--page");
    } else if (option == "--client" || option == "--zoom" || option == "--page") {
      UsageError("option \"" + option + "\" wants a value");
    } else {
      UsageError("unknown option \"" + option + "\"");
    }
  }
  if (width == 0) UsageError("view wants --client WxH");
  if (fitPage && zoom > 0) UsageError("--fit-page and --zoom exclude each other");
  if (width > THeadlessWindowHost::kMaxSize || height > THeadlessWindowHost::kMaxSize) {
    UsageError("--client goes up to " + std::to_string(THeadlessWindowHost::kMaxSize) + " pixels a side");
  }

  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TdtpDocument doc(services);
  LoadDocumentFile(doc, args[0]);
  SelectPage(doc, page);
  if (normal) doc.SetViewStyle(vsNormal);
  THeadlessWindowHost host(width, height);
  host.SetClient(&doc);
  // Attaching the window fits the page's width, as a newly shown window does.
  doc.SetWindowHost(&host);
  try {
    if (fitPage) doc.FitPage();
    if (zoom > 0) doc.SetZoomPercent(zoom);
    const TBitmap32& shown = host.Paint(TRect{0, 0, host.ClientWidth(), host.ClientHeight()});
    WritePng(shown, args[1]);
    std::printf("%dx%d at %.4g%%, %.6g pixels per mm\n", shown.Width(), shown.Height(), doc.ZoomPercent,
                doc.ScreenDpm());
  } catch (...) {
    doc.SetWindowHost(nullptr);
    host.SetClient(nullptr);
    throw;
  }
  doc.SetWindowHost(nullptr);
  host.SetClient(nullptr);
  return 0;
}

}  // namespace sw::cli
