// stickwell-cli print FILE OUT.pdf|OUT.png [--quality low|medium|high|device] [--paper WxH]
//                    [--dpi N] [--offset X,Y] [--pages A-B]
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "base/strings.h"
#include "engine/document.h"
#include "platform/fonts.h"
#include "platform/pdf_printer.h"
#include "platform/png_printer.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

// Forwards a job to a file printer and counts the sheets it started.
class TCountingPrinter : public IPrinter {
public:
  explicit TCountingPrinter(IPrinter& printer) : printer_(printer) {}
  TPrinterSheet Sheet() const override { return printer_.Sheet(); }
  void BeginDoc(const std::string& title) override {
    printer_.BeginDoc(title);
    Sheets = 1;
  }
  void NewPage() override {
    printer_.NewPage();
    ++Sheets;
  }
  void EndDoc() override { printer_.EndDoc(); }
  void Abort() override { printer_.Abort(); }
  bool Printing() const override { return printer_.Printing(); }
  void StretchBand(const TRect& dest, const TBitmap32& band) override { printer_.StretchBand(dest, band); }
  void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                    const TRect& clip) override {
    printer_.PlacePicture(x, y, picture, clip);
  }

  int32_t Sheets = 0;

private:
  IPrinter& printer_;
};

// Two numbers joined by separator ("210x297", "1.5,-2"); positive ones when positive is set.
std::pair<double, double> ParsePair(const std::string& text, char separator, bool positive, const std::string& option) {
  const size_t at = text.find(separator);
  // Read the same in every locale: "." (or ",") is the decimal point.
  auto number = [&](const std::string& part) {
    const std::optional<double> parsed = part.find(' ') == std::string::npos ? TryParseDecimal(part) : std::nullopt;
    const double value = parsed.value_or(NAN);
    if (!parsed || (positive && value <= 0)) {
      UsageError(option + " wants " + (positive ? "two positive numbers" : "two numbers") + " as A" + separator +
                 "B, got \"" + text + "\"");
    }
    return value;
  };
  if (at == std::string::npos) number("");
  return {number(text.substr(0, at)), number(text.substr(at + 1))};
}

// "A-B" or "A", 1-based and inclusive.
std::pair<int, int> ParsePages(const std::string& text) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos) {
    const int page = ParsePositiveInt(text, "--pages");
    return {page, page};
  }
  const int first = ParsePositiveInt(text.substr(0, dash), "--pages");
  const int last = ParsePositiveInt(text.substr(dash + 1), "--pages");
  if (last < first) UsageError("--pages wants A-B with A at most B, got \"" + text + "\"");
  return {first, last};
}

// A bar of the job's progress on standard error, redrawn in place.
void ShowProgress(float fraction) {
  constexpr int kWidth = 40;
  const int done = static_cast<int>(std::lround(std::fmin(std::fmax(fraction, 0.0f), 1.0f) * kWidth));
  std::fprintf(stderr, "\rprinting [%s%s] %3d%%", std::string(static_cast<size_t>(done), '#').c_str(),
               std::string(static_cast<size_t>(kWidth - done), ' ').c_str(), done * 100 / kWidth);
  std::fflush(stderr);
}

}  // namespace

TPrintQualityType ParseQuality(const std::string& text) {
  if (text == "low") return pqLow;
  if (text == "medium") return pqMedium;
  if (text == "high") return pqHigh;
  if (text == "device") return pqDevice;
  UsageError("--quality wants low, medium, high or device, got \"" + text + "\"");
}

int CmdPrint(const Args& args) {
  if (args.size() < 2) UsageError("print wants FILE OUT.pdf|OUT.png [options]");
  TPrintQualityType quality = pqMedium;
  TFilePrinterSettings settings;
  float shiftX = 0, shiftY = 0;
  int firstPage = 0, lastPage = 0;
  for (size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) UsageError("option \"" + args[i] + "\" wants a value");
    const std::string& value = args[i + 1];
    if (args[i] == "--quality") {
      quality = ParseQuality(value);
    } else if (args[i] == "--paper") {
      const auto [w, h] = ParsePair(value, 'x', true, "--paper");
      if (w > kMaxPaperSide || h > kMaxPaperSide) UsageError(Format("--paper goes up to %g mm a side", kMaxPaperSide));
      settings.PaperWidth = static_cast<float>(w);
      settings.PaperHeight = static_cast<float>(h);
    } else if (args[i] == "--dpi") {
      settings.Dpi = ParsePositiveInt(value, "--dpi");
      if (settings.Dpi < kMinPrinterDpi || settings.Dpi > kMaxPrinterDpi) {
      UsageError(Format("--dpi goes from %d to %d", kMinPrinterDpi, kMaxPrinterDpi));
    }
    } else if (args[i] == "--offset") {
      const auto [x, y] = ParsePair(value, ',', false, "--offset");
      shiftX = static_cast<float>(x);
      shiftY = static_cast<float>(y);
    } else if (args[i] == "--pages") {
      std::tie(firstPage, lastPage) = ParsePages(value);
    } else {
      UsageError("unknown option \"" + args[i] + "\"");
    }
  }
  const std::string& out = args[1];
  const std::string ext = LowerCase(ExtractFileExt(out));
  if (ext != ".pdf" && ext != ".png") UsageError("print writes OUT.pdf or OUT.png, got \"" + out + "\"");
  if (std::abs(shiftX) > settings.PaperWidth || std::abs(shiftY) > settings.PaperHeight) {
    UsageError("--offset moves the print off the paper");
  }
  std::unique_ptr<IPrinter> printer;
  TPngPrinter* png = nullptr;
  if (ext == ".pdf") {
    printer = std::make_unique<TPdfPrinter>(out, settings);
  } else {
    auto p = std::make_unique<TPngPrinter>(out, settings);
    png = p.get();
    printer = std::move(p);
  }

  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TdtpDocument doc(services);
  LoadDocumentFile(doc, args[0]);
  if (firstPage == 0) {
    firstPage = 1;
    lastPage = doc.PageCount();
  }
  if (lastPage > doc.PageCount()) {
    RaiseError(Format("Page %d does not exist (the file has %d)", lastPage, doc.PageCount()));
  }
  const bool bar = ::isatty(STDERR_FILENO) == 1;
  TPrintJob job;
  job.Quality = quality;
  if (bar) job.Progress = [](float share) { ShowProgress(share); };
  std::vector<int> indices;
  for (int page = firstPage; page <= lastPage; ++page) indices.push_back(page - 1);
  TShiftedPrinter shifted(*printer, shiftX, shiftY);
  TCountingPrinter counting(shifted);
  try {
    doc.PrintPageList(indices, counting, job);
  } catch (...) {
    if (bar) std::fputc('\n', stderr);
    throw;
  }
  if (bar) std::fputc('\n', stderr);
  if (counting.Sheets == 0) RaiseError("Nothing was printed: the pages have no area");
  if (png) {
    for (const std::string& file : png->Files()) std::printf("%s\n", file.c_str());
  } else {
    std::printf("%s\n", out.c_str());
  }
  std::printf("%d sheet%s\n", counting.Sheets, counting.Sheets == 1 ? "" : "s");
  return 0;
}

}  // namespace sw::cli
