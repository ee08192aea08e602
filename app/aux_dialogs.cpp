#include "app/aux_dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <initializer_list>

#include "app/handler_guard.h"
#include "base/exception.h"

// The resources live in a static library; naming their initialiser links them in, and Qt ignores
// a second registration of the same data.
static void InitStickwellResources() { Q_INIT_RESOURCE(stickwell); }

namespace sw {

namespace {

constexpr char kBrowserError[] = "Couldn't launch default browser";
constexpr char kOwnershipText[] = "Made by the Stickwell developers";
constexpr char kAboutComment[] = "Fridge magnets designed and printed at home";

QString Text(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  // Lines may end in blanks; in a rich-text label they would vanish, so the label is plain.
  return QString::fromStdString(WithProductName(text));
}

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// The dialog's icon beside its text, the text and the buttons below, at a fixed size.
void LayOut(QDialog& dialog, const TFConfig* config, QWidget* text, std::initializer_list<QPushButton*> buttons) {
  auto* top = new QHBoxLayout;
  if (config && !config->ProgramIcon.isNull()) {
    dialog.setWindowIcon(QIcon(config->ProgramIcon));
    auto* icon = new QLabel(&dialog);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(config->ProgramIcon);
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon, 0, Qt::AlignTop);
  }
  top->addWidget(text, 1);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QPushButton* button : buttons) row->addWidget(button);
  auto* column = new QVBoxLayout(&dialog);
  column->addLayout(top);
  column->addLayout(row);
  column->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace

std::string WithProductName(std::string text) {
  static constexpr char kPlaceholder[] = "PRODUCT_NAME";
  constexpr size_t placeholderLength = sizeof(kPlaceholder) - 1;
  const std::string name = kProductName;
  for (size_t at = text.find(kPlaceholder); at != std::string::npos; at = text.find(kPlaceholder, at + name.size()))
    text.replace(at, placeholderLength, name);
  return text;
}

const char* ProgramVersion() { return STICKWELL_VERSION; }
std::string ShopAddress() { return STICKWELL_SHOP_URL; }
std::string DownloadAddress() { return STICKWELL_DOWNLOAD_URL; }

void OpenManual(IWebBrowser* browser, const std::vector<std::string>& dirs) {
  for (const std::string& dir : dirs) {
    const QFileInfo page(QDir(QString::fromStdString(dir)).filePath(QStringLiteral("index.html")));
    if (!page.isFile()) continue;
    if (!browser) RaiseError(kBrowserError);
    browser->OpenUrl(QUrl::fromLocalFile(page.absoluteFilePath()).toString().toStdString());
    return;
  }
  RaiseError("The manual is not installed");
}

QLabel* NewTabHeader(QWidget* parent, const char* title) {
  auto* header = new QLabel(QString::fromLatin1(title), parent);
  header->setObjectName(QStringLiteral("LHeader"));
  header->setAutoFillBackground(true);
  QPalette palette = header->palette();
  palette.setColor(QPalette::Window, QColor(52, 60, 72));
  palette.setColor(QPalette::WindowText, Qt::white);
  header->setPalette(palette);
  QFont font(QStringLiteral("Verdana"));
  font.setPixelSize(16);
  font.setBold(true);
  header->setFont(font);
  header->setContentsMargins(8, 6, 8, 6);
  return header;
}

// --- TFConfig ---

TFConfig::TFConfig(QWidget* parent) : QWidget(parent) {
  InitStickwellResources();
  setObjectName(QStringLiteral("FConfig"));
  IStartup.load(QStringLiteral(":/stickwell/startup.png"));
  ProgramIcon.load(QStringLiteral(":/stickwell/icon32.png"));
  ImageList.append(QPixmap(QStringLiteral(":/stickwell/grid_printed.png")));
  ImageList.append(QPixmap(QStringLiteral(":/stickwell/grid_skipped.png")));
}

// --- TAboutBox ---

TAboutBox::TAboutBox(const TFConfig* config, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));
  ProductName = PlainLabel(QString(), this);
  ProductName->setObjectName(QStringLiteral("ProductName"));
  QFont bold = ProductName->font();
  bold.setBold(true);
  ProductName->setFont(bold);
  Version = PlainLabel(QString(), this);
  Version->setObjectName(QStringLiteral("Version"));
  Copyright = PlainLabel(QString(), this);
  Copyright->setObjectName(QStringLiteral("Copyright"));
  Comments = PlainLabel(QString(), this);
  Comments->setObjectName(QStringLiteral("Comments"));
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QWidget(this);
  auto* lines = new QVBoxLayout(texts);
  lines->setContentsMargins(0, 0, 0, 0);
  for (QLabel* label : {ProductName, Version, Copyright, Comments}) lines->addWidget(label);
  LayOut(*this, config, texts, {OKButton});
}

void TAboutBox::showEvent(QShowEvent* e) {
  ProductName->setText(QString::fromLatin1(kProductName));
  Version->setText(QStringLiteral("Version %1").arg(QString::fromLatin1(ProgramVersion())));
  Copyright->setText(QString::fromLatin1(kOwnershipText));
  Comments->setText(QString::fromLatin1(kAboutComment));
  QDialog::showEvent(e);
}

void TAboutBox::OpenWebAddress(IWebBrowser* browser, const std::string& address) {
  if (!browser) RaiseError(kBrowserError);
  browser->OpenUrl(address + kReferrerQuery);
}


// --- TFNoTemplates ---

TFNoTemplates::TFNoTemplates(const TDialogServices& dialogs, const TFConfig* config, QWidget* parent,
                             const std::string& downloadAddress)
    : QDialog(parent), dialogs_(dialogs), downloadAddress_(downloadAddress) {
  setObjectName(QStringLiteral("FNoTemplates"));
  setWindowTitle(QStringLiteral("Empty Templates Folder"));
  const bool download = !downloadAddress_.empty();
  Label1 = PlainLabel(download ? Text({"Your templates folder is currently empty.", "",
                                       "Please download templates from the ", "PRODUCT_NAME web site before continuing."})
                               : Text({"Your templates folder is currently empty, and the templates ",
                                       "that come with PRODUCT_NAME were not found.", "",
                                       "Install PRODUCT_NAME again, or put template files (.fmt) ",
                                       "into the templates folder."}),
                      this);
  Label1->setObjectName(QStringLiteral("Label1"));
  BDownload = new QPushButton(QStringLiteral("Download"), this);
  BDownload->setObjectName(QStringLiteral("BDownload"));
  BDownload->setDefault(download);
  BDownload->setVisible(download);
  BCancel = new QPushButton(download ? QStringLiteral("Cancel") : QStringLiteral("OK"), this);
  BCancel->setObjectName(QStringLiteral("BCancel"));
  BCancel->setDefault(!download);
  connect(BDownload, &QPushButton::clicked, this, &TFNoTemplates::BDownloadClick);
  connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);
  LayOut(*this, config, Label1, {BDownload, BCancel});
}

void TFNoTemplates::BDownloadClick() {
  if (downloadAddress_.empty()) return;
  if (RunGuarded(dialogs_.MessageBoxes, [this] { TAboutBox::OpenWebAddress(dialogs_.Web, downloadAddress_); })) {
    accept();
  }
}

// --- TFPrintingTips ---

TFPrintingTips::TFPrintingTips(const TDialogServices& dialogs, const TFConfig* config, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
  setObjectName(QStringLiteral("FPrintingTips"));
  setWindowTitle(QStringLiteral("Printing tips for pre-cut paper"));
  Label1 = PlainLabel(Text({"Here are some tips to help you get the best results.",
                            "",
                            "1. To avoid wasting pre-cut paper, print a test page first ",
                            "on plain paper: \"print guide sheet\" (here or on the print ",
                            "tab) prints the cutting lines of the template. Hold it ",
                            "against a sheet of pre-cut paper in front of a light.",
                            "",
                            "2. Set your printer to the paper of the print tab (A4 or ",
                            "Letter) at actual size, without \"fit to page\", and choose ",
                            "a high print quality.",
                            "",
                            "3. If the lines of the guide sheet miss the pre-cut shapes, ",
                            "enter the difference as the printer offset on the print tab ",
                            "and print the guide sheet again.",
                            "",
                            "While PRODUCT_NAME allows precise adjustment of ",
                            "alignment, results will vary from printer to printer so ",
                            "exact alignment cannot be guaranteed.",
                            "",
                            "*IMPORTANT* ",
                            "Pre-cut paper is designed to be passed through your ",
                            "printer ONCE only.   The printing process can loosen ",
                            "the pre-cut inserts which might then be dislodged ",
                            "during subsequent print operations, possibly causing ",
                            "damage to the printer.   If you choose to ignore this ",
                            "advice, you do so at your own risk."}),
                      this);
  Label1->setObjectName(QStringLiteral("Label1"));
  BOK = new QPushButton(QStringLiteral("OK"), this);
  BOK->setObjectName(QStringLiteral("BOK"));
  BOK->setDefault(true);
  BGuideSheets = new QPushButton(QStringLiteral("print guide sheet"), this);
  BGuideSheets->setObjectName(QStringLiteral("BGuideSheets"));
  connect(BOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BGuideSheets, &QPushButton::clicked, this, &TFPrintingTips::BGuideSheetsClick);
  LayOut(*this, config, Label1, {BGuideSheets, BOK});
}

void TFPrintingTips::BGuideSheetsClick() {
  guideSheet_ = true;
  accept();
}

}  // namespace sw
