#include "platform/qt/dialogs_qt.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "base/exception.h"
#include "base/numeric.h"
#include "platform/qt/printer_qt.h"

namespace sw {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return text;
}

// The filter's extensions, lower case, "jpeg" added after "jpg".
std::vector<std::string> Extensions(const TFileFilter& filter) {
  std::vector<std::string> list;
  auto add = [&](const std::string& e) {
    if (std::find(list.begin(), list.end(), e) == list.end()) list.push_back(e);
  };
  for (const std::string& extension : filter.Extensions) {
    const std::string e = Lower(extension);
    add(e);
    if (e == "jpg") add("jpeg");
  }
  return list;
}

QString ToQ(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string FromQ(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

QString QtNameFilter(const TFileFilter& filter) {
  std::string caption = filter.Caption;
  // A caption ending in its own pattern list ("All (*.jpg;*.gif,*.png)") loses it: Qt reads the
  // patterns from the last parentheses, and ours are the ones that count.
  if (!caption.empty() && caption.back() == ')') {
    const size_t open = caption.rfind('(');
    if (open != std::string::npos) caption.erase(open);
  }
  while (!caption.empty() && caption.back() == ' ') caption.pop_back();
  QStringList patterns;
  for (const std::string& e : Extensions(filter)) patterns << ToQ("*." + e);
  if (patterns.isEmpty()) patterns << "*";
  return ToQ(caption) + " (" + patterns.join(' ') + ")";
}

bool MatchesFilter(const std::string& fileName, const TFileFilter& filter) {
  const std::vector<std::string> extensions = Extensions(filter);
  if (extensions.empty()) return true;
  const size_t slash = fileName.find_last_of('/');
  const std::string name = Lower(slash == std::string::npos ? fileName : fileName.substr(slash + 1));
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  return std::find(extensions.begin(), extensions.end(), name.substr(dot + 1)) != extensions.end();
}

std::string AddDefaultExtension(const std::string& path, const std::string& extension) {
  if (extension.empty() || path.empty()) return path;
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.find('.') != std::string::npos) return path;
  return path + "." + extension;
}

// --- Files ---

std::optional<std::string> TQtFileDialogs::Run(const TFileDialogRequest& request, bool save) {
  QFileDialog dialog(parent_, ToQ(request.Title), ToQ(request.InitialDir));
  // Qt's own dialog: its name filters match without regard to case, so "Round_Magnet.FMT" is
  // listed as a template.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QStringList filters;
  for (const TFileFilter& filter : request.Filters) filters << QtNameFilter(filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.DefaultExtension.empty()) dialog.setDefaultSuffix(ToQ(request.DefaultExtension));
  if (!request.FileName.empty()) dialog.selectFile(ToQ(request.FileName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  std::string path = FromQ(chosen.first());
  if (save) path = AddDefaultExtension(path, request.DefaultExtension);
  return path;
}

std::optional<std::string> TQtFileDialogs::OpenFile(const TFileDialogRequest& request) { return Run(request, false); }
std::optional<std::string> TQtFileDialogs::SaveFile(const TFileDialogRequest& request) { return Run(request, true); }

// --- Font ---

TFontColourDialog::TFontColourDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Font");
  fonts_ = new QFontDialog(this);
  // The chooser lives inside this dialog, without buttons of its own.
  fonts_->setWindowFlags(Qt::Widget);
  fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
  fonts_->setObjectName("FontChooser");
  colourButton_ = new QPushButton(this);
  colourButton_->setObjectName("FontColour");
  colourButton_->setFixedSize(60, 22);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(colourButton_, &QPushButton::clicked, this, [this] { PickColour(); });
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(new QLabel("Colour:", this));
  colourRow->addWidget(colourButton_);
  colourRow->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fonts_);
  layout->addLayout(colourRow);
  layout->addWidget(buttons);
  SetColour(0);
}

void TFontColourDialog::SetColour(TRgbColor colour) {
  colour_ = colour.Value & 0xFFFFFF;
  const QColor c(QRgb(static_cast<uint32_t>(colour_.Value)));
  colourButton_->setStyleSheet(QString("background-color: %1; border: 1px solid #444444;").arg(c.name()));
}

void TFontColourDialog::PickColour() {
  const QColor c = QColorDialog::getColor(QColor(QRgb(static_cast<uint32_t>(colour_.Value))), this, "Colour");
  if (c.isValid()) SetColour(static_cast<int32_t>(c.rgb() & 0xFFFFFF));
}

void TFontColourDialog::SetChoice(const TFontChoice& choice) {
  QFont font(ToQ(choice.Name));
  const double points = std::isfinite(choice.Points) && choice.Points > 0 ? choice.Points : 10;
  font.setPointSize(std::max(1, Round(points)));
  font.setBold(choice.Bold);
  font.setItalic(choice.Italic);
  fonts_->setCurrentFont(font);
  SetColour(choice.Colour);
}

TFontChoice TFontColourDialog::Choice() const {
  const QFont font = fonts_->currentFont();
  TFontChoice choice;
  choice.Name = FromQ(font.family());
  choice.Points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pointSize();
  choice.Bold = font.bold();
  choice.Italic = font.italic();
  choice.Colour = colour_;
  return choice;
}

std::optional<TFontChoice> TQtFontDialog::ChooseFont(const TFontChoice& initial) {
  TFontColourDialog dialog(parent_);
  dialog.SetChoice(initial);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Choice();
}

// --- Printing ---

TQtPrintDialog::TQtPrintDialog(QWidget* parent) : parent_(parent) {}
TQtPrintDialog::~TQtPrintDialog() = default;

IPrinter* TQtPrintDialog::Execute(const TPrintRequest& request) {
  device_.reset();
  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  auto device = std::make_unique<TQtPrinter>(*printer_);
  device->SetPaperSize(request.PaperWidth, request.PaperHeight);
  QPrintDialog dialog(printer_.get(), parent_);
  dialog.setWindowTitle(ToQ(request.Title.empty() ? std::string("Print") : request.Title));
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  // Whatever paper the dialog chose, the sheet is the layout's.
  device->SetPaperSize(request.PaperWidth, request.PaperHeight);
  device_ = std::move(device);
  return device_.get();
}

// --- Web pages ---

void TQtWebBrowser::OpenUrl(const std::string& url) {
  const QUrl address(ToQ(url), QUrl::StrictMode);
  if (!address.isValid() || address.scheme().isEmpty() || !QDesktopServices::openUrl(address)) {
    RaiseError("Couldn't launch default browser");
  }
}

// --- Progress ---

namespace {

class TQtProgress : public IProgress {
public:
  TQtProgress(QWidget* parent, const std::string& label, int32_t total)
      : dialog_(ToQ(label), "Cancel", 0, std::max(total, 1), parent) {
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(TQtProgressService::kMinimumDurationMs);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setObjectName("Progress");
    dialog_.setValue(0);
  }
  void SetPosition(int32_t done) override { dialog_.setValue(std::clamp(done, 0, dialog_.maximum())); }
  bool Cancelled() const override { return dialog_.wasCanceled(); }

private:
  QProgressDialog dialog_;
};

}  // namespace

std::unique_ptr<IProgress> TQtProgressService::Begin(const std::string& label, int32_t total) {
  return std::make_unique<TQtProgress>(parent_, label, total);
}

// --- All of them ---

TQtDialogs::TQtDialogs(QWidget* parent)
    : Files(parent), Font(parent), Print(parent), Progress(parent), MessageBoxes(parent) {}

TDialogServices TQtDialogs::Services() {
  return TDialogServices{&Files, &Font, &Print, &Web, &Progress, &MessageBoxes};
}

}  // namespace sw
