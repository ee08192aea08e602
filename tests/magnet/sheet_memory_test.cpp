// Memory of a printed sheet of copies: the design is held once for all copies, its photo decoded
// once and let go as soon as the copies' one picture is made, and the sheet prints the same
// whether it prefers memory or speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "magnet/magnet_design.h"
#include "magnet/print_run.h"
#include "magnet/print_sheet.h"
#include "magnet_test_support.h"
#include "platform/headless_printer.h"
#include "shapes/bitmap_shape.h"
#include "storage/formats/jpeg_format.h"

namespace sw {
namespace {

// The bitmap shapes of a copy that hold a picture.
void CollectPictures(TdtpShape& shape, std::vector<TdtpBitmapShape*>& pictures) {
  if (auto* bitmap = dynamic_cast<TdtpBitmapShape*>(&shape); bitmap && bitmap->Resource().Data().Size() > 0) {
    pictures.push_back(bitmap);
  }
  for (int i = 0; i < shape.ChildCount(); ++i) CollectPictures(*shape.Child(i), pictures);
}

// Counts, at every band, the decoded pictures and shape caches the sheet holds besides the
// copies' one picture.
class TWatchingPrinter : public THeadlessPrinter {
public:
  explicit TWatchingPrinter(const TPrinterSheet& sheet) : THeadlessPrinter(sheet) {}
  void Watch(TPrintSheet& sheet) { sheet_ = &sheet; }
  void StretchBand(const TRect& dest, const TBitmap32& band) override {
    TdtpPage& page = *sheet_->Document().CurrentPage();
    int cached = 0;
    for (int i = 0; i < page.ChildCount(); ++i) {
      if (page.Child(i)->Cache()) ++cached;
    }
    int decoded = 0;
    std::vector<TdtpBitmapShape*> pictures;
    CollectPictures(sheet_->CopyPicture()->Page(), pictures);
    for (TdtpBitmapShape* picture : pictures) {
      if (picture->Resource().HasBitmap()) ++decoded;
      if (picture->Cache()) ++PictureCaches;
    }
    MostDecoded = std::max(MostDecoded, decoded);
    MostCached = std::max(MostCached, cached);
    THeadlessPrinter::StretchBand(dest, band);
  }

  int MostDecoded = 0;
  int MostCached = 0;
  int PictureCaches = 0;

private:
  TPrintSheet* sheet_ = nullptr;
};

class PrintMemory : public test::MagnetFixture {
protected:
  // The business card of the print benchmark: a photo zoomed, centred and turned, a message.
  std::unique_ptr<TMagnetDesign> BusinessCard() {
    TBitmap32 photo;
    photo.SetSize(600, 450);
    for (int32_t y = 0; y < photo.Height(); ++y) {
      for (int32_t x = 0; x < photo.Width(); ++x) {
        photo.ScanLine(y)[x] = Color32(static_cast<uint32_t>(x * 255 / 600), static_cast<uint32_t>(y * 255 / 450), 140);
      }
    }
    TMemoryStream jpeg;
    EncodeJpeg(photo, jpeg, 90);
    const std::string file = TempFile("photo.jpg");
    jpeg.SaveToFile(file);

    auto magnet = NewMagnet();
    magnet->SetBleedMargin(3);
    magnet->LayoutTemplateLayers(90, 50, 3);
    for (const TLayer layer : {TLayer::bgColour, TLayer::usrTextBG, TLayer::usrText, TLayer::olBorder}) {
      magnet->Layer(layer)->SetVisible(true);
    }
    magnet->SetBorder(true);
    magnet->StoreDesignParams();
    magnet->ApplyDesign(true);
    magnet->SetPrecut(false);
    magnet->LoadUserPicture(file);
    magnet->ZoomActiveImage(110);
    magnet->RotateActiveImage(6);
    magnet->SetMessageText(u"Greetings");
    return magnet;
  }

  std::vector<uint32_t> Print(TMagnetDesign& magnet, TdtpDocPerformanceType performance) {
    TPrintSheet sheet(Services());
    sheet.Document().Performance = performance;
    printer_.Watch(sheet);
    TPrintRunOptions options;
    options.Quality = pqMedium;
    RunMagnetPrint(magnet, sheet, printer_, options);
    EXPECT_EQ(PrintedCopyCount(sheet), 10);
    std::vector<TdtpBitmapShape*> pictures;
    CollectPictures(sheet.CopyPicture()->Page(), pictures);
    EXPECT_EQ(pictures.size(), 1u);
    std::vector<uint32_t> sums;
    for (const TPrintedBand& band : printer_.Bands) sums.push_back(band.Checksum);
    return sums;
  }

  TWatchingPrinter printer_{TPrinterSheet{2480, 3508, 0, 0, 300, 300}};
  std::vector<uint32_t> kept_;
};

TEST_F(PrintMemory, ASheetOfTenHoldsOnePictureAndPrintsTheSameEitherWay) {
  auto magnet = BusinessCard();
  // Loading the photo measured it without decoding it.
  EXPECT_FALSE(magnet->BitmapLayer(TLayer::usrImage)->Resource().HasBitmap());
  for (const TdtpDocPerformanceType performance : {dpSpeedOverMemory, dpMemoryOverSpeed}) {
    printer_.MostCached = printer_.MostDecoded = printer_.PictureCaches = 0;
    printer_.Bands.clear();
    const std::vector<uint32_t> sums = Print(*magnet, performance);
    // No band sees a decoded photo, the photo's cache or a cache of a copy's own: all a band
    // needs is the copies' one picture.
    EXPECT_EQ(printer_.MostDecoded, 0) << performance;
    EXPECT_EQ(printer_.PictureCaches, 0) << performance;
    EXPECT_EQ(printer_.MostCached, 0) << performance;
    if (performance == dpSpeedOverMemory) {
      kept_ = sums;
    } else {
      EXPECT_EQ(sums, kept_);
    }
  }
}

}  // namespace
}  // namespace sw
