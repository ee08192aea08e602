// stickwell-cli image info FILE | image convert IN OUT [--max WxH]
#include <cstdio>
#include <memory>
#include <string>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/formats/raster_formats.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

struct TLoaded {
  std::string description;
  int32_t width = 0;   // the picture's own size
  int32_t height = 0;
};

// Decodes by content first (a picture keeps its format whatever its name), then by extension.
TLoaded LoadPicture(const std::string& fileName, TBitmap32& bitmap, int maxWidth, int maxHeight) {
  RegisterRasterFormats();
  TFileStream file(fileName, TFileMode::fmOpenRead);
  for (const TdtpRasterClass* cls : RasterFormatClasses()) {
    if (!cls->CanLoad(&file)) continue;
    std::unique_ptr<TdtpRaster> format = cls->Create();
    format->LoadFromStream(file, bitmap, 0, maxWidth, maxHeight);
    return TLoaded{RasterFormatDescription(cls), format->Width(), format->Height()};
  }
  TdtpImageFiler filer;
  filer.SetFileName(fileName);
  filer.Stream = &file;
  filer.MaxWidth = maxWidth;
  filer.MaxHeight = maxHeight;
  filer.LoadPicture(&bitmap);
  return TLoaded{RasterFormatDescription(filer.Format()->RasterClass()), filer.Format()->Width(),
                 filer.Format()->Height()};
}

// "WxH" with both numbers positive.
void ParseMaximum(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  auto number = [&](const std::string& part) {
    if (part.empty() || part.size() > 9 || part.find_first_not_of("0123456789") != std::string::npos) {
      UsageError("--max wants WIDTHxHEIGHT, got \"" + text + "\"");
    }
    const int value = std::stoi(part);
    if (value <= 0) UsageError("--max wants positive numbers, got \"" + text + "\"");
    return value;
  };
  if (x == std::string::npos) UsageError("--max wants WIDTHxHEIGHT, got \"" + text + "\"");
  width = number(text.substr(0, x));
  height = number(text.substr(x + 1));
}

int Info(const Args& args) {
  if (args.size() != 2) UsageError("image info wants one file");
  TBitmap32 bitmap;
  const TLoaded loaded = LoadPicture(args[1], bitmap, 0, 0);
  std::printf("format: %s\nwidth: %d\nheight: %d\n", loaded.description.c_str(), loaded.width,
              loaded.height);
  return 0;
}

int Convert(const Args& args) {
  if (args.size() != 3 && args.size() != 5) UsageError("image convert wants IN OUT [--max WxH]");
  int maxWidth = 0;  // no limit
  int maxHeight = 0;
  if (args.size() == 5) {
    if (args[3] != "--max") UsageError("unknown option \"" + args[3] + "\"");
    ParseMaximum(args[4], maxWidth, maxHeight);
  }
  TBitmap32 bitmap;
  LoadPicture(args[1], bitmap, maxWidth, maxHeight);
  // Encoded in memory first, so that a failure leaves no partial file behind.
  TMemoryStream encoded;
  TdtpImageFiler filer;
  filer.SetFileName(args[2]);
  filer.Stream = &encoded;
  filer.SavePicture(&bitmap);
  encoded.SaveToFile(args[2]);
  std::printf("%s: %d x %d, %lld bytes\n", args[2].c_str(), bitmap.Width(), bitmap.Height(),
              static_cast<long long>(encoded.Size()));
  return 0;
}

}  // namespace

int CmdImage(const Args& args) {
  if (args.empty()) UsageError("image wants info or convert");
  if (args[0] == "info") return Info(args);
  if (args[0] == "convert") return Convert(args);
  UsageError("unknown image command \"" + args[0] + "\"");
}

}  // namespace sw::cli
