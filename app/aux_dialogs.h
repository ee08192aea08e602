// The designer's small windows: TFConfig, which only holds the shared pictures, and the three small
// modal dialogs "Empty Templates Folder", "Printing tips for pre-cut paper" and "About", with the
// web pages they open.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QVector>
#include <QWidget>

#include <string>
#include <vector>

#include "platform/dialogs.h"

class QLabel;
class QPushButton;

namespace sw {

// The product's name as every caption and text shows it.
constexpr char kProductName[] = "Stickwell";
// Appended to every web address opened, so the site knows where the visitor came from.
constexpr char kReferrerQuery[] = "?ref=Stickwell";

// The program's version as the build gives it (the project's VERSION).
const char* ProgramVersion();
// The shop and the template download page the build was configured with (STICKWELL_SHOP_URL,
// STICKWELL_DOWNLOAD_URL); empty when it names none, and the entries that open them are hidden.
std::string ShopAddress();
std::string DownloadAddress();

// Opens the manual (index.html of the first of dirs that has one) in the browser. Raises "The
// manual is not installed" when none has it, "Couldn't launch default browser" without a browser.
void OpenManual(IWebBrowser* browser, const std::vector<std::string>& dirs);

// The text with every "PRODUCT_NAME" replaced by the product's name.
std::string WithProductName(std::string text);

// The dark strip at the top of each tab of the window, its title in white bold 16-pixel Verdana.
QLabel* NewTabHeader(QWidget* parent, const char* title);

// The pictures the other windows copy: the start-up logo, the program icon and the image list
// whose first two 16 x 16 images are the grid icons (0 a printed position, 1 a skipped one). A
// window that is never shown; the pictures come from the program's resources.
class TFConfig : public QWidget {
  Q_OBJECT

public:
  explicit TFConfig(QWidget* parent = nullptr);

  QPixmap IStartup;
  QPixmap ProgramIcon;
  QVector<QPixmap> ImageList;
};

// "About": the product name, its version and two lines about its maker; "OK" closes it.
class TAboutBox : public QDialog {
  Q_OBJECT

public:
  // config may be null (no icon).
  explicit TAboutBox(const TFConfig* config, QWidget* parent = nullptr);

  // Opens a web address followed by "?ref=Stickwell". Without a browser service, or when the
  // browser cannot be started, raises "Couldn't launch default browser".
  static void OpenWebAddress(IWebBrowser* browser, const std::string& address);

  QLabel* ProductName;
  QLabel* Version;
  QLabel* Copyright;
  QLabel* Comments;
  QPushButton* OKButton;

protected:
  void showEvent(QShowEvent* e) override;
};

// "Empty Templates Folder", shown at start when no template is installed. With a download address
// "Download" opens it and closes the dialog (accepted); without one it is hidden and the text says
// where templates come from. "Cancel" closes it (rejected). A browser that cannot be started is
// reported through the message boxes and the dialog stays open.
class TFNoTemplates : public QDialog {
  Q_OBJECT

public:
  TFNoTemplates(const TDialogServices& dialogs, const TFConfig* config, QWidget* parent = nullptr,
                const std::string& downloadAddress = DownloadAddress());

  QLabel* Label1;
  QPushButton* BDownload;
  QPushButton* BCancel;

  void BDownloadClick();

private:
  TDialogServices dialogs_;
  std::string downloadAddress_;
};

// "Printing tips for pre-cut paper", opened from the print tab. "print guide sheet" closes it
// (accepted) asking the print tab to print the guide sheet; "OK" closes it.
class TFPrintingTips : public QDialog {
  Q_OBJECT

public:
  TFPrintingTips(const TDialogServices& dialogs, const TFConfig* config, QWidget* parent = nullptr);

  QLabel* Label1;
  QPushButton* BOK;
  QPushButton* BGuideSheets;

  void BGuideSheetsClick();
  // "print guide sheet" closed the dialog.
  bool GuideSheetChosen() const { return guideSheet_; }

private:
  TDialogServices dialogs_;
  bool guideSheet_ = false;
};

}  // namespace sw
