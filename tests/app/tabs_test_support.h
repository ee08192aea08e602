// Helpers of the print and template tab tests: the machine's fonts and the shape kinds, picture
// files of one colour, clicks, and screenshots into the build folder for a person to look at.
#pragma once

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>

#include <memory>
#include <string>

#include "base/stream.h"
#include "engine/shape.h"
#include "magnet/magnet_design.h"
#include "platform/fonts.h"
#include "platform/services.h"
#include "raster/bitmap32.h"
#include "shapes/engine_start.h"
#include "storage/formats/png_format.h"
#include "storage/xml/xml_node.h"
#include "widgets/spin_edit.h"

namespace sw::test {

// What a test program sets up once, as the designer's main does.
struct TTabsWorld {
  std::unique_ptr<TFontSystem> Fonts;
  TTabsWorld() {
    Fonts = TFontSystem::CreateForMachine();
    PrepareEngine();
  }
  TServices Services() {
    TServices services;
    services.Fonts = Fonts.get();
    return services;
  }
};

// A PNG file of width x height pixels in one colour.
inline std::string WritePicture(const QString& path, int32_t width, int32_t height, TColor32 colour) {
  TBitmap32 bitmap;
  bitmap.SetSize(width, height);
  bitmap.Clear(colour);
  TMemoryStream stream;
  EncodePng(bitmap, stream);
  stream.SaveToFile(path.toStdString());
  return path.toStdString();
}

// A click as a user makes it; a check box answers only on its box and caption, at its left end.
inline void Click(QWidget* widget) {
  QTest::mouseClick(widget, Qt::LeftButton, {}, qobject_cast<QCheckBox*>(widget) ? QPoint(6, widget->height() / 2)
                                                                                 : widget->rect().center());
}

// Presses the lower (increasing) or upper (decreasing) arrow of a spin edit.
inline void ClickArrow(TAdvSpinEdit* spin, bool lower, int times) {
  for (int i = 0; i < times; ++i) QTest::mouseClick(lower ? spin->LowerArrow() : spin->UpperArrow(), Qt::LeftButton);
}

// Types a value into a spin edit and confirms it with Return.
inline void Type(TAdvSpinEdit* spin, const QString& text) {
  spin->Editor()->selectAll();
  QTest::keyClicks(spin->Editor(), text);
  QTest::keyClick(spin->Editor(), Qt::Key_Return);
}

// Writes the widget as it looks into <build>/screenshots/<name>.png.
// A template as the template editor leaves it: 90 x 50 mm with a 3 mm bleed, every layer shown
// but the mask and the user's picture, named "stored name".
inline void WriteTemplate(TTabsWorld& world, const std::string& path) {
  TMagnetDesign author(world.Services());
  author.SetBleedMargin(3);
  author.LayoutTemplateLayers(90, 50, 3);
  for (const TLayer layer : AllLayers()) author.Layer(layer)->SetVisible(layer != TLayer::olMask);
  author.Layer(TLayer::usrImage)->SetVisible(false);
  author.SetTemplateName("stored name");
  author.SaveTemplate(path);
}

inline void Screenshot(QWidget& widget, const char* name) {
  const QString dir = QStringLiteral(STICKWELL_BINARY_DIR "/screenshots");
  QDir().mkpath(dir);
  QVERIFY(widget.grab().save(dir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png")));
}

}  // namespace sw::test
