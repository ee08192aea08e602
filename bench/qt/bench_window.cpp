// The designer window's responsiveness, offscreen at 900 x 500: one click on the picture zoom's
// arrow with a 12-megapixel picture, from the click to the repainted design view; and start-up to
// the first painted window. Beside them, the peer: Qt's own painter scaling the same picture into
// a widget of the view's size. Run with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

#include "app/main_window.h"
#include "app/design_tab.h"
#include "magnet/magnet_design.h"
#include "platform/fonts.h"
#include "platform/headless_dialogs.h"
#include "platform/headless_message_box.h"
#include "platform/qt/window_host_qt.h"
#include "shapes/engine_start.h"
#include "storage/xml/xml_node.h"
#include "widgets/spin_edit.h"

using namespace sw;

namespace {

constexpr int kPictureWidth = 4000, kPictureHeight = 3000;

// A picture with detail, so that no stage can take a shortcut over flat colour.
QImage Picture() {
  QImage image(kPictureWidth, kPictureHeight, QImage::Format_ARGB32);
  for (int y = 0; y < kPictureHeight; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < kPictureWidth; ++x) row[x] = qRgb(x * 255 / kPictureWidth, y * 255 / kPictureHeight, (x ^ y) & 255);
  }
  return image;
}

// The peer: a widget that paints the picture scaled to a zoom, smoothly, as Qt would.
class TPeerView : public QWidget {
public:
  explicit TPeerView(const QImage& image) : image_(image) {}
  int Zoom = 25;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::gray);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double f = Zoom / 100.0;
    painter.drawImage(QRectF(20, 20, width() * f * 2, width() * f * 1.5), image_);
  }

private:
  const QImage& image_;
};

}  // namespace

class BenchWindow : public QObject {
  Q_OBJECT

  std::unique_ptr<TFontSystem> fonts;
  std::unique_ptr<QTemporaryDir> dir;
  THeadlessDialogs dialogs;
  THeadlessMessageBoxes boxes;
  QImage image;
  std::string picturePath;

  TMainWindowSetup Setup() {
    TMainWindowSetup setup;
    setup.Fonts = fonts.get();
    setup.Dialogs = dialogs.Services(&boxes);
    setup.ProgramDir = (dir->path() + "/program").toStdString();
    return setup;
  }

private slots:
  void initTestCase() {
    fonts = TFontSystem::CreateForMachine();
    PrepareEngine();
    dir = std::make_unique<QTemporaryDir>();
    QDir().mkpath(dir->path() + "/program/templates");
    TServices services;
    services.Fonts = fonts.get();
    TMagnetDesign author(services);
    author.SetBleedMargin(3);
    author.LayoutTemplateLayers(90, 50, 3);
    for (const TLayer layer : AllLayers()) author.Layer(layer)->SetVisible(layer != TLayer::olMask);
    author.SaveTemplate((dir->path() + "/program/templates/Business_Card.fmt").toStdString());
    image = Picture();
    picturePath = (dir->path() + "/photo.png").toStdString();
    QVERIFY(image.save(QString::fromStdString(picturePath)));
  }

  void zoomStepOnTwelveMegapixelPicture() {
    TFStickwellMain window(Setup());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(900, 500));
    dialogs.Files.ScriptOpen((dir->path() + "/program/templates/Business_Card.fmt").toStdString());
    window.DesignTab()->BSelectTemplateClick();
    window.DesignTab()->LoadUserPicture(picturePath);
    QVERIFY(boxes.Messages().empty());
    auto* zoom = window.findChild<TAdvSpinEdit*>("SEImageZoom");
    QWidget* view = window.DesignView()->viewport();
    view->repaint();
    int step = 0;
    QBENCHMARK {
      // Up and down in turn, so the picture stays about the same size.
      QTest::mouseClick((step++ & 1) ? zoom->UpperArrow() : zoom->LowerArrow(), Qt::LeftButton);
      view->repaint();
    }
    window.Design().Document().SetModified(false);
  }

  void peerQPainterScalesTheSamePicture() {
    TPeerView peer(image);
    peer.resize(900 - 457, 500);
    peer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&peer));
    int step = 0;
    QBENCHMARK {
      peer.Zoom = (step++ & 1) ? 25 : 26;
      peer.repaint();
    }
  }

  void startUpToTheFirstPaintedWindow() {
    QBENCHMARK {
      TFStickwellMain window(Setup());
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      window.repaint();
    }
  }
};

QTEST_MAIN(BenchWindow)
#include "bench_window.moc"
