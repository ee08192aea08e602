// The dialogs of the designer on Qt: file open and save (QFileDialog; extensions match without
// regard to case and ".jpeg" comes with ".jpg"), a font dialog with a colour, the print dialog
// over a printer whose paper is the print tab's, web pages in the user's browser and progress
// that only shows for jobs that take a while.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/dialogs.h"
#include "platform/qt/message_box_qt.h"

class QFontDialog;
class QPrinter;
class QPushButton;

namespace sw {

class TQtPrinter;

// The Qt name-filter line of a filter: the caption without a pattern list of its own at its end,
// then the patterns, "jpg" bringing "jpeg" along: "JPEG Image File (*.jpg *.jpeg)". A filter
// without extensions matches every file.
QString QtNameFilter(const TFileFilter& filter);
// Whether a file name has one of the filter's extensions (letter case aside; "jpg" takes "jpeg").
bool MatchesFilter(const std::string& fileName, const TFileFilter& filter);
// The path with "." and the extension added when its file name has none.
std::string AddDefaultExtension(const std::string& path, const std::string& extension);

class TQtFileDialogs : public IFileDialogs {
public:
  // parent (not owned, may be null) is the window the dialogs are modal to.
  explicit TQtFileDialogs(QWidget* parent) : parent_(parent) {}
  std::optional<std::string> OpenFile(const TFileDialogRequest& request) override;
  std::optional<std::string> SaveFile(const TFileDialogRequest& request) override;

private:
  std::optional<std::string> Run(const TFileDialogRequest& request, bool save);
  QWidget* parent_;
};

// Qt's font chooser (embedded) with a colour button beside it and OK and Cancel below.
class TFontColourDialog : public QDialog {
  Q_OBJECT

public:
  explicit TFontColourDialog(QWidget* parent = nullptr);
  // Shows this font; the size in points is rounded to whole points as the chooser lists them.
  void SetChoice(const TFontChoice& choice);
  TFontChoice Choice() const;
  QFontDialog* FontChooser() const { return fonts_; }
  QPushButton* ColourButton() const { return colourButton_; }
  // Sets the colour (0xRRGGBB) the button shows and the dialog returns.
  void SetColour(TRgbColor colour);

private:
  void PickColour();
  QFontDialog* fonts_;
  QPushButton* colourButton_;
  TRgbColor colour_ = 0;
};

class TQtFontDialog : public IFontDialog {
public:
  explicit TQtFontDialog(QWidget* parent) : parent_(parent) {}
  std::optional<TFontChoice> ChooseFont(const TFontChoice& initial) override;

private:
  QWidget* parent_;
};

class TQtPrintDialog : public IPrintDialog {
public:
  explicit TQtPrintDialog(QWidget* parent);
  ~TQtPrintDialog() override;
  // The printer's page is the request's paper before the dialog opens and again after it closes,
  // so a printer set to another paper never scales the sheet.
  IPrinter* Execute(const TPrintRequest& request) override;
  // The QPrinter of the last Execute (null before one).
  QPrinter* LastPrinter() const { return printer_.get(); }

private:
  QWidget* parent_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<TQtPrinter> device_;
};

class TQtWebBrowser : public IWebBrowser {
public:
  // Through QDesktopServices; raises "Couldn't launch default browser" when it refuses.
  void OpenUrl(const std::string& url) override;
};

class TQtProgressService : public IProgressService {
public:
  // A job shows a window-modal progress dialog only after this long and only when it would run
  // longer still.
  static constexpr int32_t kMinimumDurationMs = 500;
  explicit TQtProgressService(QWidget* parent) : parent_(parent) {}
  std::unique_ptr<IProgress> Begin(const std::string& label, int32_t total) override;

private:
  QWidget* parent_;
};

// All of them for one window, with its message boxes.
class TQtDialogs {
public:
  explicit TQtDialogs(QWidget* parent);
  TDialogServices Services();

  TQtFileDialogs Files;
  TQtFontDialog Font;
  TQtPrintDialog Print;
  TQtWebBrowser Web;
  TQtProgressService Progress;
  TQtMessageBoxes MessageBoxes;
};

}  // namespace sw
