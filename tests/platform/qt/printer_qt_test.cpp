// The Qt printer on Qt's PDF output: sheet size from the paper, bands placed at their pixels and
// kept lossless, several sheets, a refused start and an aborted job. The files are checked with
// qpdf and read with the poppler tools (scripts/install-deps installs both).
#include <QApplication>
#include <QPrinter>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "platform/qt/printer_qt.h"

using namespace sw;

namespace {

std::string Scratch(const std::string& stem) { return TempFolder() + "/" + stem + "_" + std::to_string(::getpid()); }

// Exit status of a shell command, its output in *output.
int Run(const std::string& command, std::string* output = nullptr) {
  const std::string capture = Scratch("qt_printer_cmd") + ".txt";
  const int raw = std::system((command + " >'" + capture + "' 2>&1").c_str());
  if (output && FileExists(capture)) {
    const std::vector<uint8_t> bytes = ReadFileBytes(capture);
    output->assign(bytes.begin(), bytes.end());
  }
  std::remove(capture.c_str());
  return raw == -1 ? -1 : WEXITSTATUS(raw);
}

// A binary PPM (P6, 8 bits) as the poppler tools write it.
bool ReadPpm(const std::string& file, TBitmap32& out) {
  if (!FileExists(file)) return false;
  const std::vector<uint8_t> d = ReadFileBytes(file);
  int w = 0, h = 0, max = 0, used = 0;
  const std::string head(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(d.size(), 64)));
  if (std::sscanf(head.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || max != 255) return false;
  size_t pos = static_cast<size_t>(used) + 1;
  if (w <= 0 || h <= 0 || d.size() < pos + size_t(w) * size_t(h) * 3) return false;
  out.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, pos += 3) out.SetPixel(x, y, Color32(d[pos], d[pos + 1], d[pos + 2]));
  return true;
}

// Page (1-based) of a PDF rendered by pdftoppm at dpi, as a binary PPM's pixels.
bool Render(const std::string& pdf, int page, int dpi, TBitmap32& out) {
  const std::string base = Scratch("qt_printer_render");
  const std::string p = std::to_string(page);
  if (Run("pdftoppm -r " + std::to_string(dpi) + " -f " + p + " -l " + p + " -singlefile '" + pdf + "' '" + base + "'") != 0)
    return false;
  const std::string file = base + ".ppm";
  const bool ok = ReadPpm(file, out);
  std::remove(file.c_str());
  return ok;
}

bool Near(TColor32 a, TColor32 b, int tolerance) {
  for (const int s : {0, 8, 16}) {
    if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > tolerance) return false;
  }
  return true;
}

}  // namespace

class PrinterQtTest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QVERIFY2(Run("command -v qpdf") == 0 && Run("command -v pdftoppm") == 0, "qpdf and pdftoppm are needed");
  }

  void sheetFollowsThePaperAndBandsLandAtTheirPixels() {
    const std::string file = Scratch("qt_printer") + ".pdf";
    QPrinter qprinter(QPrinter::HighResolution);
    qprinter.setOutputFormat(QPrinter::PdfFormat);
    qprinter.setOutputFileName(QString::fromStdString(file));
    qprinter.setResolution(150);
    TQtPrinter printer(qprinter);
    printer.SetPaperSize(210, 297);
    const TPrinterSheet sheet = printer.Sheet();
    QCOMPARE(sheet.Width, 1240);
    QCOMPARE(sheet.Height, 1754);
    QCOMPARE(sheet.OffsetX, 0);
    QCOMPARE(sheet.DpiX, 150);

    // A band of noise: lossy compression would not give it back.
    TBitmap32 noise;
    noise.SetSize(64, 48);
    uint32_t seed = 12345;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        seed = seed * 1103515245u + 12345u;
        noise.SetPixel(x, y, 0xFF000000u | (seed >> 8));
      }
    }
    TBitmap32 solid;
    solid.SetSize(4, 4);
    solid.Clear(0xFF2050A0u);
    printer.BeginDoc("Qt job");
    QVERIFY(printer.Printing());
    printer.StretchBand(TRect{100, 200, 164, 248}, noise);
    printer.StretchBand(TRect{400, 400, 500, 500}, solid);  // stretched 25 times
    printer.NewPage();
    printer.StretchBand(TRect{0, 0, 4, 4}, solid);
    // A picture laid three times, the second cut to its left half: its pixels go once.
    auto quads = std::make_shared<TBitmap32>();
    quads->SetSize(40, 30);
    quads->Clear(0xFFD02020u);
    quads->FillRect(TRect{20, 0, 40, 30}, 0xFF2040D0u);
    for (const int x : {600, 700, 800}) {
      const TRect clip = x == 700 ? TRect{700, 100, 720, 130} : TRect{x, 100, x + 40, 130};
      printer.PlacePicture(x, 100, quads, clip);
    }
    printer.EndDoc();
    QVERIFY(!printer.Printing());

    std::string output;
    QVERIFY2(Run("qpdf --check '" + file + "'", &output) == 0, output.c_str());
    QVERIFY(Run("qpdf --show-npages '" + file + "'", &output) == 0);
    QCOMPARE(output, std::string("2\n"));
    Run("pdfinfo '" + file + "'", &output);
    // Qt's own PDF output keeps the page size in whole points.
    QVERIFY2(output.find("Page size:       595 x 842 pts (A4)") != std::string::npos, output.c_str());
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    const std::string text(bytes.begin(), bytes.end());
    QVERIFY(text.find("/DCTDecode") == std::string::npos);

    TBitmap32 page;
    QVERIFY(Render(file, 1, 150, page));
    QVERIFY(std::abs(page.Width() - 1240) <= 1 && std::abs(page.Height() - 1754) <= 1);
    QVERIFY(Near(page.Pixel(450, 450), 0xFF2050A0u, 2));
    QVERIFY(Near(page.Pixel(402, 402), 0xFF2050A0u, 2));
    QVERIFY(Near(page.Pixel(397, 450), clWhite32, 2));
    QVERIFY(Near(page.Pixel(503, 450), clWhite32, 2));
    // The noise band is stored losslessly: the reader's extraction of it gives every pixel back.
    const std::string images = Scratch("qt_printer_images");
    QVERIFY(Run("pdfimages -f 1 -l 1 '" + file + "' '" + images + "'") == 0);
    TBitmap32 stored;
    QVERIFY(ReadPpm(images + "-000.ppm", stored));
    std::remove((images + "-000.ppm").c_str());
    std::remove((images + "-001.ppm").c_str());
    QCOMPARE(stored.Width(), 64);
    QCOMPARE(stored.Height(), 48);
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) QCOMPARE(stored.Pixel(x, y), noise.Pixel(x, y));
    }
    TBitmap32 second;
    QVERIFY(Render(file, 2, 150, second));
    QVERIFY(Near(second.Pixel(610, 115), 0xFFD02020u, 2));
    QVERIFY(Near(second.Pixel(630, 115), 0xFF2040D0u, 2));
    QVERIFY(Near(second.Pixel(710, 115), 0xFFD02020u, 2));
    QVERIFY(Near(second.Pixel(730, 115), clWhite32, 2));  // cut off by the clip
    QVERIFY(Near(second.Pixel(830, 115), 0xFF2040D0u, 2));
    // The page's images by object: the band and the picture, whose three placements share one.
    QVERIFY(Run("pdfimages -f 2 -l 2 -list '" + file + "'", &output) == 0);
    std::set<std::string> objects;
    std::istringstream rows(output);
    std::string row;
    while (std::getline(rows, row)) {
      std::istringstream fields(row);
      std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
      if (f.size() > 11 && f[0] == "2") objects.insert(f[10]);
    }
    QCOMPARE(objects.size(), size_t(2));
    std::remove(file.c_str());
  }

  void refusedStartAndAbortedJob() {
    QPrinter qprinter(QPrinter::HighResolution);
    qprinter.setOutputFormat(QPrinter::PdfFormat);
    qprinter.setOutputFileName(QString::fromStdString(TempFolder() + "/no/such/folder/x.pdf"));
    TQtPrinter printer(qprinter);
    printer.SetPaperSize(100, 100);
    std::string message;
    try {
      printer.BeginDoc("nowhere");
    } catch (const Exception& e) {
      message = e.what();
    }
    QCOMPARE(message, std::string("The printer cannot start printing"));
    QVERIFY(!printer.Printing());

    const std::string file = Scratch("qt_printer_abort") + ".pdf";
    qprinter.setOutputFileName(QString::fromStdString(file));
    TBitmap32 band;
    band.SetSize(8, 8);
    band.Clear(clBlack32);
    printer.BeginDoc("aborted");
    printer.StretchBand(TRect{0, 0, 8, 8}, band);
    printer.Abort();
    QVERIFY(!printer.Printing());
    message.clear();
    try {
      printer.StretchBand(TRect{0, 0, 8, 8}, band);
    } catch (const Exception& e) {
      message = e.what();
    }
    QCOMPARE(message, std::string("The printer is not printing"));
    try {
      printer.SetPaperSize(0, 10);
    } catch (const Exception& e) {
      message = e.what();
    }
    QCOMPARE(message, std::string("Invalid paper size"));
    // A new job runs after the aborted one.
    printer.BeginDoc("again");
    printer.StretchBand(TRect{0, 0, 8, 8}, band);
    printer.EndDoc();
    QVERIFY(Run("qpdf --check '" + file + "'") == 0);
    std::remove(file.c_str());
  }
};

QTEST_MAIN(PrinterQtTest)
#include "printer_qt_test.moc"
