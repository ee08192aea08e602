#include "app/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/aux_dialogs.h"
#include "app/design_tab.h"
#include "app/handler_guard.h"
#include "app/print_tab.h"
#include "app/template_tab.h"
#include "base/exception.h"
#include "magnet/design_gestures.h"
#include "magnet/design_undo.h"
#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "platform/message_box.h"
#include "platform/qt/window_host_qt.h"
#include "shapes/bitmap_shape.h"
#include "widgets/ruler.h"
#include "widgets/spin_edit.h"

namespace sw {

namespace {

constexpr int kLeftPanelWidth = 457;
constexpr int kFlashIntervalMs = 100;
constexpr int32_t kWheelZoomStep = 5;
// The window's font and every button caption: dark grey.
const QColor kDarkGrey(68, 68, 68);
const QColor kSkyBlue(166, 202, 240);

// A picture file the design view takes when it is dropped: a local file of a picture type.
QString DroppedPicture(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  if (!url.isLocalFile()) return {};
  const QString path = url.toLocalFile();
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != "jpg" && suffix != "jpeg" && suffix != "gif" && suffix != "png") return {};
  return path;
}

// The scroll area of a tab's panel. It brings a control into view when the user moves the focus
// to it with Tab, but not when the focus only moves on because the control that had it was
// disabled or hidden ("refresh" once clicked, "clear image", an undo): the panel stays under the
// mouse.
class TPanelScrollArea : public QScrollArea {
public:
  using QScrollArea::QScrollArea;

protected:
  bool focusNextPrevChild(bool next) override {
    const QWidget* from = window()->focusWidget();
    if (from && (!from->isEnabled() || !from->isVisible())) return QWidget::focusNextPrevChild(next);
    return QScrollArea::focusNextPrevChild(next);
  }
};

}  // namespace

TFMain::TFMain(const TMainWindowSetup& setup, QWidget* parent) : QMainWindow(parent), setup_(setup) {
  extra_ = !setup_.Arguments.isEmpty() && setup_.Arguments.first() == "extra";
  services_.Fonts = setup_.Fonts;
  services_.MessageBoxes = setup_.Dialogs.MessageBoxes;
  // The window runs the message flash itself (Timer1); the design keeps no clock of its own.
  design_ = std::make_unique<TMagnetDesign>(services_);
  sheet_ = std::make_unique<TPrintSheet>(services_);
  undo_ = std::make_unique<TDesignUndo>(*design_);
  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(kFlashIntervalMs);
  connect(timer1_, &QTimer::timeout, this, [this] { Timer1Timer(); });
  config_ = new TFConfig(this);
  config_->hide();
  BuildWindow();
  BuildMenu();
  FormCreate();
}

TFMain::~TFMain() {
  // The views go before the documents they show.
  if (designView_) designView_->SetClient(nullptr);
  if (previewView_) previewView_->SetClient(nullptr);
  design_->Document().SetWindowHost(nullptr);
  design_->Document().SetRulerTop(nullptr);
  design_->Document().SetRulerLeft(nullptr);
  design_->Document().SetRulerCorner(nullptr);
  sheet_->Document().SetWindowHost(nullptr);
  // The controls go while the design they work on is still there. Their events while they are
  // torn down must not reach this window's filter, which would ask half-destroyed widgets.
  timer1_->stop();
  if (designView_) designView_->viewport()->removeEventFilter(this);
  if (pStartup_) pStartup_->removeEventFilter(this);
  delete takeCentralWidget();
  designView_ = nullptr;
  previewView_ = nullptr;
  pStartup_ = nullptr;
}

bool TFMain::Guard(const std::function<void()>& handler) { return RunGuarded(setup_.Dialogs.MessageBoxes, handler); }

QWidget* TFMain::NewTabPage(const char* name, const char* header, QWidget* content, QLabel** headerLabel) {
  auto* page = new QWidget;
  page->setObjectName(name);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (header) {
    QLabel* label = NewTabHeader(page, header);
    if (headerLabel) *headerLabel = label;
    layout->addWidget(label);
  }
  auto* scroll = new TPanelScrollArea(page);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(content);
  layout->addWidget(scroll, 1);
  return page;
}

void TFMain::BuildWindow() {
  auto* central = new QSplitter(Qt::Horizontal, this);
  central->setObjectName("Splitter1");
  central->setHandleWidth(1);

  // Left: the tabs.
  auto* panel = new QWidget(central);
  panel->setObjectName("Panel1");
  panel->setMinimumWidth(0);
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  pageControl1_ = new QTabWidget(panel);
  pageControl1_->setObjectName("PageControl1");
  panelLayout->addWidget(pageControl1_);

  TDialogServices dialogs = setup_.Dialogs;
  designTab_ = new TDesignTab(*design_, *undo_, dialogs, folders_, nullptr);
  QLabel* designHeader = nullptr;
  pageControl1_->addTab(NewTabPage("TabSheet1", "design magnet", designTab_, &designHeader), "design");
  designHeader->setObjectName("LDesignHeader");
  printTab_ = new TPrintTab(*design_, *sheet_, dialogs, nullptr);
  printTab_->SetConfig(config_);
  printTab_->SetSettings(setup_.Settings);
  tabPrint_ = NewTabPage("TabSheet4", nullptr, printTab_, nullptr);
  pageControl1_->addTab(tabPrint_, "print");
  templateTab_ = new TTemplateTab(*design_, dialogs, nullptr);
  pageControl1_->addTab(NewTabPage("TabSheet5", nullptr, templateTab_, nullptr), "template");

  // Right: the design view with its rulers, the preview, the start-up page.
  pageControl2_ = new QStackedWidget(central);
  pageControl2_->setObjectName("PageControl2");
  tsDesign_ = new QWidget;
  tsDesign_->setObjectName("TSDesign");
  auto* grid = new QGridLayout(tsDesign_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  rulerCorner_ = new TRsRulerCorner(tsDesign_);
  rulerCorner_->setObjectName("RsRulerCorner1");
  rulerCorner_->setFixedSize(TRsRuler::kThickness, TRsRuler::kThickness);
  rulerTop_ = new TRsRuler(TRulerOrientation::Horizontal, tsDesign_);
  rulerTop_->setObjectName("RsRulerTop");
  rulerLeft_ = new TRsRuler(TRulerOrientation::Vertical, tsDesign_);
  rulerLeft_->setObjectName("RsRulerLeft");
  designView_ = new TQtWindowHost(tsDesign_);
  designView_->setObjectName("dtpDocument");
  designView_->setFrameStyle(QFrame::NoFrame);
  grid->addWidget(rulerCorner_, 0, 0);
  grid->addWidget(rulerTop_, 0, 1);
  grid->addWidget(rulerLeft_, 1, 0);
  grid->addWidget(designView_, 1, 1);
  grid->setRowStretch(1, 1);
  grid->setColumnStretch(1, 1);
  tsPreview_ = new QWidget;
  tsPreview_->setObjectName("TSPreview");
  auto* previewLayout = new QVBoxLayout(tsPreview_);
  previewLayout->setContentsMargins(0, 0, 0, 0);
  previewView_ = new TQtWindowHost(tsPreview_);
  previewView_->setObjectName("dtpPrintPreview");
  previewView_->setFrameStyle(QFrame::NoFrame);
  previewLayout->addWidget(previewView_);
  pStartup_ = new QWidget;
  pStartup_->setObjectName("PStartup");
  pStartup_->setAutoFillBackground(true);
  QPalette sky = pStartup_->palette();
  sky.setColor(QPalette::Window, kSkyBlue);
  pStartup_->setPalette(sky);
  iStartup_ = new QLabel(pStartup_);
  iStartup_->setObjectName("IStartup");
  pStartup_->installEventFilter(this);
  pageControl2_->addWidget(tsDesign_);
  pageControl2_->addWidget(tsPreview_);
  pageControl2_->addWidget(pStartup_);

  central->addWidget(panel);
  central->addWidget(pageControl2_);
  central->setStretchFactor(0, 0);
  central->setStretchFactor(1, 1);
  central->setSizes({kLeftPanelWidth, 900 - kLeftPanelWidth});
  setCentralWidget(central);
  // The status line says what the design view cannot show plainly.
  status_ = new QLabel(this);
  status_->setObjectName("LStatus");
  statusBar()->addWidget(status_, 1);

  // The documents in their windows.
  TdtpDocument& document = design_->Document();
  // The user drags the message and the picture on the view; the controls follow every step.
  gestures_ = std::make_unique<TDesignViewClient>(*design_);
  // A notch of the wheel zooms the picture by a step a person can see; with Ctrl finely.
  gestures_->ZoomStep = kWheelZoomStep;
  gestures_->FineZoomStep = 1;
  gestures_->OnChanged = [this] {
    designTab_->ShowTextControls();
    designTab_->ShowImageControls();
    // Text typed on the page must reach the message field, or its next change would undo it.
    designTab_->ShowMessageText();
    DesignChanged();
  };
  gestures_->OnEditMessage = [this] { designTab_->Memo()->setFocus(); };
  designView_->SetClient(gestures_.get());
  document.SetWindowHost(designView_);
  document.SetRulerTop(rulerTop_);
  document.SetRulerLeft(rulerLeft_);
  document.SetRulerCorner(rulerCorner_);
  designView_->SetErrorHandler([this](const std::string& message) { Guard([&] { RaiseError(message); }); });
  designView_->viewport()->setAcceptDrops(true);
  designView_->viewport()->installEventFilter(this);
  TdtpDocument& preview = sheet_->Document();
  previewView_->SetClient(&preview);
  preview.SetWindowHost(previewView_);
  previewView_->SetErrorHandler([this](const std::string& message) { Guard([&] { RaiseError(message); }); });

  // The tabs tell the window what they changed.
  designTab_->ConfirmReplace = [this] { return ConfirmDiscard(); };
  templateTab_->ConfirmReplace = [this] { return ConfirmDiscard(); };
  connect(designTab_, &TDesignTab::designApplied, this, [this] { ApplyDesign(true); });
  connect(designTab_, &TDesignTab::designModified, this, [this] { DesignChanged(); });
  connect(designTab_, &TDesignTab::flashStarted, this, [this] { DesignChanged(); });
  connect(designTab_, &TDesignTab::undoRequested, this, [this] { Undo1Click(); });
  connect(designTab_, &TDesignTab::redoRequested, this, [this] { Redo1Click(); });
  connect(templateTab_, &TTemplateTab::designApplied, this, [this] {
    undo_->Clear();
    ApplyDesign(true);
  });
  connect(templateTab_, &TTemplateTab::designModified, this, [this] { DesignChanged(); });
  connect(templateTab_, &TTemplateTab::activeImageChanged, this, [this] { designTab_->ShowImageControls(); });
  connect(printTab_, &TPrintTab::designModified, this, [this] { UpdateUndoActions(); });
  connect(printTab_, &TPrintTab::previewChanged, this, [this] { previewView_->viewport()->update(); });
  // The message shows the merge's first row now: its fit and the view follow.
  connect(printTab_, &TPrintTab::mergeChanged, this, [this] {
    ShowDesignStatus();
    designView_->viewport()->update();
  });
  connect(printTab_, &TPrintTab::printed, this, [this] {
    pageControl1_->setCurrentIndex(0);
  });
  connect(pageControl1_, &QTabWidget::currentChanged, this, [this](int index) { PageControl1Change(index); });
  connect(designTab_->Memo(), &QPlainTextEdit::textChanged, this, [this] { DesignChanged(); });
}

void TFMain::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  const auto add = [this](QMenu* menu, const char* text, const char* name, QKeySequence::StandardKey key,
                          std::function<void()> handler) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setObjectName(name);
    if (key != QKeySequence::UnknownKey) action->setShortcuts(key);
    // The shortcuts work wherever the focus is in the window.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    return action;
  };
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("File1");
  add(file, "&Open Design...", "Open1", QKeySequence::Open, [this] { designTab_->BLoadDesignClick(); });
  add(file, "Select &Template...", "SelectTemplate1", QKeySequence::New, [this] { designTab_->BSelectTemplateClick(); });
  save1_ = add(file, "&Save Design", "Save1", QKeySequence::Save, [this] { designTab_->SaveDesign(); });
  saveAs1_ = add(file, "Save Design &As...", "SaveAs1", QKeySequence::SaveAs, [this] { designTab_->BSaveDesignClick(); });
  file->addSeparator();
  print1_ = add(file, "&Print...", "Print1", QKeySequence::Print, [this] { printTab_->BPrintClick(); });
  savePdf1_ = add(file, "Save as P&DF...", "SavePdf1", QKeySequence::UnknownKey, [this] { printTab_->BSavePdfClick(); });
  file->addSeparator();
  add(file, "E&xit", "Exit1", QKeySequence::Quit, [this] { Exit1Click(); });

  QMenu* edit = bar->addMenu("&Edit");
  edit->setObjectName("Edit1");
  undo1_ = add(edit, "&Undo", "Undo1", QKeySequence::Undo, [this] { Undo1Click(); });
  redo1_ = add(edit, "&Redo", "Redo1", QKeySequence::Redo, [this] { Redo1Click(); });

  QMenu* help = bar->addMenu("&Help");
  help->setObjectName("Help1");
  add(help, "&Manual", "Online1", QKeySequence::HelpContents, [this] { Online1Click(); });
  // The shop only where the build names a real one.
  QAction* buy = add(help, "&Buy Products", "BuyProducts1", QKeySequence::UnknownKey, [this] { BuyProducts1Click(); });
  buy->setVisible(!ShopAddress().empty());
  help->addSeparator();
  add(help, "&About", "About1", QKeySequence::UnknownKey, [this] { About1Click(); });
}

// --- Start ---

void TFMain::FormCreate() {
  setWindowTitle("Stickwell");
  setWindowIcon(QIcon(config_->ProgramIcon));
  resize(900, 500);
  setMinimumSize(350, 350);
  if (!extra_) {
    pageControl1_->removeTab(2);
    templateTab_->hide();
  }
  pageControl1_->setCurrentIndex(0);
  pageControl2_->setCurrentWidget(pStartup_);
  folders_ = MakeAppFolders(setup_.ProgramDir, setup_.DataDir);
  InstallBundledTemplates(setup_.BundledTemplates, folders_.TemplatesDir);
  templatesFound_ = sw::TemplatesFound(folders_.TemplatesDir);
  // The tabs' dialogs open in the folders found now.
  designTab_->SetFolders(folders_);
  templateTab_->SetFolders(folders_.TemplatesDir, folders_.ImagesDir);
  EnableDesignControls(false);
  StyleControls();
  UpdateUndoActions();
}

void TFMain::StyleControls() {
  // Live controls only: a disabled one keeps the style's disabled look.
  QPalette palette = this->palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::WindowText, kDarkGrey);
    palette.setColor(group, QPalette::ButtonText, kDarkGrey);
    palette.setColor(group, QPalette::Text, kDarkGrey);
  }
  setPalette(palette);
  for (TAdvSpinEdit* spin : findChildren<TAdvSpinEdit*>()) spin->setFixedHeight(TAdvSpinEdit::kHeight);
}

void TFMain::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (shown_) return;
  shown_ = true;
  // After the window is on the screen, so the dialog shows above it.
  QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TFMain::FormShow() {
  if (!templatesFound_) {
    ++noTemplatesShown_;
    TFNoTemplates dialog(setup_.Dialogs, config_, this);
    dialog.exec();
  }
  // A design or template named on the command line (opened from the desktop) comes up at once.
  if (!extra_ && !setup_.Arguments.isEmpty()) {
    const QFileInfo file(setup_.Arguments.first());
    const QString suffix = file.suffix().toLower();
    if (file.isFile() && (suffix == "fmd" || suffix == "fmt")) {
      designTab_->OpenDesignOrTemplate(file.absoluteFilePath().toStdString());
    }
  }
}

void TFMain::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  FormResize();
}

void TFMain::FormResize() {
  Guard([this] {
    design_->Document().FitPage();
    sheet_->Document().FitPage();
  });
}

bool TFMain::eventFilter(QObject* watched, QEvent* e) {
  if (watched == pStartup_ && e->type() == QEvent::Resize) PStartupResize();
  if (designView_ && watched == designView_->viewport()) {
    if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(e);
      if (AcceptsDrop(DroppedPicture(drag->mimeData()))) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    if (e->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(e);
      const QString path = DroppedPicture(drop->mimeData());
      if (!AcceptsDrop(path)) return true;
      drop->acceptProposedAction();
      designTab_->LoadUserPicture(path.toStdString());
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

bool TFMain::AcceptsDrop(const QString& path) const {
  return !path.isEmpty() && design_->DesignLoaded() && design_->BitmapLayer(TLayer::usrImage) != nullptr;
}

void TFMain::PStartupResize() {
  iStartup_->setPixmap(config_->IStartup);
  iStartup_->resize(config_->IStartup.size());
  iStartup_->move((pStartup_->width() - iStartup_->width()) / 2, (pStartup_->height() - iStartup_->height()) / 2);
}

// --- Design state ---

void TFMain::ApplyDesign(bool resetPrint) {
  if (!design_->DesignLoaded()) {
    // A load that failed left the design empty: nothing is there to edit.
    EnableDesignControls(false);
    if (pageControl1_->currentIndex() == 0) ShowRightPage(pStartup_);
    designTab_->RefreshControls();
    UpdateUndoActions();
    return;
  }
  if (resetPrint && pageControl1_->currentWidget() != tabPrint_) ShowRightPage(tsDesign_);
  Guard([this] { design_->Document().FitPage(); });
  designTab_->RefreshControls();
  printTab_->ShowSettings();
  templateTab_->ShowTemplate();
  EnableDesignControls(true);
  if (pageControl1_->currentWidget() == tabPrint_) printTab_->TabSheet4Show();
  UpdateUndoActions();
  ShowDesignStatus();
}

void TFMain::EnableDesignControls(bool on) {
  EnableChildControls(printTab_, on);
  EnableChildControls(designTab_->MessageGroup(), on);
  EnableChildControls(designTab_->ColourGroup(), on);
  EnableChildControls(designTab_->ImageGroup(), on && design_->ImageGroupAllowed());
  designTab_->LoadImageButton()->setEnabled(on);
  designTab_->SaveDesignButton()->setEnabled(on);
  for (QAction* action : {save1_, saveAs1_, print1_, savePdf1_}) action->setEnabled(on);
}

void TFMain::EnableChildControls(QWidget* container, bool on) {
  if (!container) return;
  for (QObject* object : container->children()) {
    auto* child = qobject_cast<QWidget*>(object);
    if (!child) continue;
    if (child->findChild<QWidget*>()) EnableChildControls(child, on);
    child->setEnabled(on);
  }
}

void TFMain::DesignChanged() {
  design_->SetLayoutStale(true);
  if (design_->Flashing() && !timer1_->isActive()) timer1_->start();
  UpdateUndoActions();
  ShowDesignStatus();
}

void TFMain::ShowDesignStatus() {
  QStringList parts;
  const TFloatPoint over = design_->DesignLoaded() ? design_->MessageOverflow() : TFloatPoint{};
  const bool overflow = over.X > 0 || over.Y > 0;
  if (overflow) {
    QStringList hidden;
    const int32_t lines = design_->MessageLines(), shown = design_->MessageLinesShown();
    if (shown < lines) {
      hidden << QString("%1 of %2 lines hidden").arg(lines - shown).arg(lines);
    } else if (over.Y > 0) {
      hidden << QString("%1 mm cut off below").arg(double(over.Y), 0, 'f', 1);
    }
    if (over.X > 0) hidden << QString("%1 mm cut off at the side").arg(double(over.X), 0, 'f', 1);
    parts << QString("The message does not fit its box (%1): \"fit text\" shrinks it.").arg(hidden.join(", "));
  }
  if (!design_->PictureWarning().empty()) {
    parts << QString::fromStdString("Warning: " + design_->PictureWarning());
  }
  if (design_->DesignLoaded()) {
    const QString fontHint = designTab_->FontHint();
    if (!fontHint.isEmpty()) parts << fontHint;
  }
  status_->setText(parts.join("  "));
  // The red outline comes and goes with the overflow; it reaches a little beyond the box.
  if (overflow || overflowShown_) designView_->viewport()->update();
  overflowShown_ = overflow;
}

QString TFMain::StatusText() const { return status_->text(); }

void TFMain::UpdateUndoActions() {
  undo1_->setEnabled(undo_->CanUndo());
  redo1_->setEnabled(undo_->CanRedo());
}

void TFMain::ShowRightPage(QWidget* page) { pageControl2_->setCurrentWidget(page); }

// --- Tabs ---

void TFMain::PageControl1Change(int index) {
  Guard([&] {
    QWidget* page = pageControl1_->widget(index);
    if (page == tabPrint_) {
      ShowRightPage(tsPreview_);
      printTab_->TabSheet4Show();
      sheet_->Document().FitPage();
    } else if (index == 0) {
      ShowRightPage(design_->DesignLoaded() ? tsDesign_ : pStartup_);
    } else {
      ShowRightPage(tsDesign_);
    }
  });
}

// --- Flash ---

void TFMain::Timer1Timer() {
  Guard([this] { undo_->Quietly([this] { design_->FlashTick(); }); });
  if (!design_->Flashing()) timer1_->stop();
}

// --- Undo ---

void TFMain::Undo1Click() {
  // A drag running now would otherwise record its half-way position over the replayed step.
  gestures_->CancelDrag();
  Guard([this] {
    if (undo_->Undo()) FollowUndo();
  });
  UpdateUndoActions();
}

void TFMain::Redo1Click() {
  // A drag running now would otherwise record its half-way position over the replayed step.
  gestures_->CancelDrag();
  Guard([this] {
    if (undo_->Redo()) FollowUndo();
  });
  UpdateUndoActions();
}

void TFMain::FollowUndo() {
  designTab_->RefreshControls();
  designTab_->ShowImageGroupState();
  templateTab_->ShowTemplate();
  design_->SetLayoutStale(true);
  ShowDesignStatus();
}

// --- Closing ---

bool TFMain::ConfirmDiscard() {
  if (!design_->Document().Modified()) return true;
  IMessageBoxes* boxes = setup_.Dialogs.MessageBoxes;
  if (!boxes) return false;
  const bool templateEditing = design_->TemplateEditing();
  const char* question = templateEditing ? "Do you want to save the changes to your template."
                                         : "Do you want to save the changes to your design.";
  const TMessageAnswer answer = boxes->Show(question, "Confirm", TMessageKind::Question, TMessageButtons::YesNoCancel);
  if (answer == TMessageAnswer::No) return true;
  if (answer != TMessageAnswer::Yes) return false;
  // A save that was cancelled or failed keeps the design (and the window).
  return templateEditing ? templateTab_->BSaveTemplateClick() : designTab_->BSaveDesignClick();
}

bool TFMain::FormCloseQuery() {
  bool canClose = false;
  Guard([&] { canClose = ConfirmDiscard(); });
  return canClose;
}

void TFMain::closeEvent(QCloseEvent* e) {
  if (FormCloseQuery()) {
    e->accept();
  } else {
    e->ignore();
  }
}

// --- Menu ---

void TFMain::Exit1Click() { close(); }

void TFMain::Online1Click() {
  Guard([this] { OpenManual(setup_.Dialogs.Web, setup_.ManualDirs); });
}

void TFMain::About1Click() {
  TAboutBox about(config_, this);
  about.exec();
}

void TFMain::BuyProducts1Click() {
  Guard([this] { TAboutBox::OpenWebAddress(setup_.Dialogs.Web, ShopAddress()); });
}

// --- The program's window ---

TFStickwellMain::TFStickwellMain(const TMainWindowSetup& setup, QWidget* parent) : TFMain(setup, parent) {
  setObjectName("FStickwellMain");
}

}  // namespace sw
